// Our own help window for platforms without the HTML Help viewer: the pages of the compiled help file in a
// browser, with its contents tree beside them.
#pragma once

#include <memory>

#include <QTextBrowser>
#include <QWidget>

class QTreeWidget;
class QTreeWidgetItem;

namespace qb {

class ChmFile;
struct ContentsEntry;

// Pages, style sheets and images all come from the help file; links are "chm:/page.html".
class ChmBrowser : public QTextBrowser {
    Q_OBJECT
public:
    ChmBrowser(const ChmFile& file, QWidget* parent = nullptr);
    QVariant loadResource(int type, const QUrl& name) override;

protected:
    // Plain text: what the page shows, without the marks that keep code whole.
    QMimeData* createMimeDataFromSelection() const override;

private:
    void followLink(const QUrl& url);

    const ChmFile& file_;
};

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // A top-level window with no owner: it stays open beside the main window until closed.
    explicit HelpWindow(std::unique_ptr<ChmFile> file);
    ~HelpWindow() override;

    // `page` as stored in the file, e.g. "device.html#write"; empty shows the default topic.
    void showPage(const QString& page);

    ChmBrowser* browser() const { return browser_; }
    QTreeWidget* contents() const { return contents_; }

    static QUrl pageUrl(const QString& page);

private:
    void fillContents();
    void addEntries(QTreeWidgetItem* parent, const std::vector<ContentsEntry>& entries);

    std::unique_ptr<ChmFile> file_;
    ChmBrowser* browser_ = nullptr;
    QTreeWidget* contents_ = nullptr;
};

}  // namespace qb
