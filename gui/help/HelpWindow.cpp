#include "gui/help/HelpWindow.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QStringDecoder>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gui/help/ChmFile.h"
#include "gui/help/HelpContents.h"

namespace qb {

namespace {

constexpr char kScheme[] = "chm";
constexpr int kLocalRole = Qt::UserRole;

QString decodeText(const QByteArray& data) {
    const auto encoding = QStringConverter::encodingForHtml(data);
    QStringDecoder decoder(encoding.value_or(QStringConverter::Utf8));
    return decoder.decode(data);
}

QString pageTitle(const QString& html, const QString& fallback) {
    static const QRegularExpression title(
        QStringLiteral(R"(<title[^>]*>(.*?)</title>)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QString t = title.match(html).captured(1).simplified();
    return t.isEmpty() ? fallback : t;
}

constexpr char16_t kWordJoiner = 0x2060;

// Qt's layout breaks a line after a hyphen, a slash or a brace and ignores "white-space: nowrap" on inline text,
// so a path like packaging/70-quillanterbrooke.rules, or a udev rule, could be split inside a word. A word joiner
// after each character keeps words whole: <pre> lines break at spaces only, and inline <code>, whose spaces are
// made non-breaking too, never. The joiners are taken out again when text is copied
// (createMimeDataFromSelection).
QString keepCodeWhole(const QString& html) {
    static const QRegularExpression span(
        QStringLiteral(R"(<(code|pre)\b[^>]*>(.*?)</\1\s*>)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    QString out;
    out.reserve(html.size() + html.size() / 16);
    qsizetype done = 0;
    for (auto it = span.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const bool inlineCode = m.captured(1).compare(QLatin1String("code"), Qt::CaseInsensitive) == 0;
        out += QStringView(html).mid(done, m.capturedStart(2) - done);
        bool inTag = false;
        bool inEntity = false;
        for (const QChar c : m.capturedView(2)) {
            if (c == QLatin1Char('<')) inTag = true;
            if (!inTag && c == QLatin1Char('&')) inEntity = true;
            const bool space = c.isSpace();
            out += inlineCode && !inTag && c == QLatin1Char(' ') ? QChar(QChar::Nbsp) : c;
            if (!inTag && !inEntity && !space) out += QChar(kWordJoiner);
            if (c == QLatin1Char('>')) inTag = false;
            if (inEntity && c == QLatin1Char(';')) {
                inEntity = false;
                out += QChar(kWordJoiner);
            }
        }
        done = m.capturedEnd(2);
    }
    out += QStringView(html).mid(done);
    return out;
}

}  // namespace

ChmBrowser::ChmBrowser(const ChmFile& file, QWidget* parent) : QTextBrowser(parent), file_(file) {
    setObjectName(QStringLiteral("HelpBrowser"));
    setAccessibleName(QStringLiteral("Help page"));
    // Links are followed here so that only pages of the help file load inside the window.
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &ChmBrowser::followLink);
}

void ChmBrowser::followLink(const QUrl& url) {
    const QUrl target = url.isRelative() ? source().resolved(url) : url;
    if (target.scheme() == QLatin1String(kScheme)) {
        setSource(target);
    } else if (target.scheme() == QLatin1String("http") || target.scheme() == QLatin1String("https") ||
               target.scheme() == QLatin1String("mailto")) {
        QDesktopServices::openUrl(target);
    }
}

QVariant ChmBrowser::loadResource(int type, const QUrl& name) {
    const QUrl url = name.isRelative() ? source().resolved(name) : name;
    if (url.scheme() != QLatin1String(kScheme)) return {};
    const std::optional<QByteArray> data = file_.read(url.path());
    if (!data) {
        if (type == QTextDocument::HtmlResource)
            return QStringLiteral("<p>The page %1 is not in the help file.</p>").arg(url.path().toHtmlEscaped());
        return {};
    }
    if (type == QTextDocument::HtmlResource) return keepCodeWhole(decodeText(*data));
    if (type == QTextDocument::StyleSheetResource) return decodeText(*data);
    return *data;
}

QMimeData* ChmBrowser::createMimeDataFromSelection() const {
    QString text = textCursor().selection().toPlainText();
    text.remove(QChar(kWordJoiner));
    text.replace(QChar(QChar::Nbsp), QLatin1Char(' '));
    auto* data = new QMimeData;
    data->setText(text);
    return data;
}

HelpWindow::HelpWindow(std::unique_ptr<ChmFile> file) : QWidget(nullptr), file_(std::move(file)) {
    setObjectName(QStringLiteral("HelpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The main window decides when the program ends; a help window left open never keeps it running.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(file_->title().isEmpty() ? QStringLiteral("Quillanterbrooke Help") : file_->title());
    resize(820, 600);

    auto* back = new QPushButton(tr("Back"), this);
    back->setObjectName(QStringLiteral("HelpBackButton"));
    auto* forward = new QPushButton(tr("Forward"), this);
    forward->setObjectName(QStringLiteral("HelpForwardButton"));
    auto* home = new QPushButton(tr("Home"), this);
    home->setObjectName(QStringLiteral("HelpHomeButton"));

    contents_ = new QTreeWidget;
    contents_->setObjectName(QStringLiteral("HelpContents"));
    contents_->setAccessibleName(QStringLiteral("Help contents"));
    contents_->setHeaderHidden(true);
    browser_ = new ChmBrowser(*file_);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(contents_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 600});

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addWidget(home);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(splitter, 1);

    back->setEnabled(false);
    forward->setEnabled(false);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(home, &QPushButton::clicked, this, [this] { showPage(QString()); });
    connect(contents_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const QString local = item->data(0, kLocalRole).toString();
        if (!local.isEmpty()) showPage(local);
    });
    connect(contents_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item) return;
        const QString local = item->data(0, kLocalRole).toString();
        if (!local.isEmpty()) showPage(local);
    });

    fillContents();
    showPage(QString());
}

HelpWindow::~HelpWindow() = default;

QUrl HelpWindow::pageUrl(const QString& page) {
    QString path = page;
    QString fragment;
    const qsizetype hash = path.indexOf(QLatin1Char('#'));
    if (hash >= 0) {
        fragment = path.mid(hash + 1);
        path.truncate(hash);
    }
    QUrl url;
    url.setScheme(QLatin1String(kScheme));
    url.setPath(NormaliseChmPath(path));
    if (!fragment.isEmpty()) url.setFragment(fragment);
    return url;
}

void HelpWindow::showPage(const QString& page) {
    QString target = page;
    if (target.isEmpty()) target = file_->defaultTopic();
    if (target.isEmpty()) target = QStringLiteral("/index.html");
    const QUrl url = pageUrl(target);
    if (browser_->source().path() == url.path() && browser_->source().fragment() == url.fragment()) return;
    browser_->setSource(url, QTextDocument::HtmlResource);
}

void HelpWindow::addEntries(QTreeWidgetItem* parent, const std::vector<ContentsEntry>& entries) {
    for (const ContentsEntry& entry : entries) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(contents_);
        item->setText(0, entry.name.isEmpty() ? entry.local : entry.name);
        item->setData(0, kLocalRole, entry.local);
        addEntries(item, entry.children);
    }
}

void HelpWindow::fillContents() {
    std::vector<ContentsEntry> entries;
    if (!file_->contentsFile().isEmpty()) {
        if (const auto hhc = file_->read(file_->contentsFile())) entries = ParseSitemap(decodeText(*hhc));
    }
    if (entries.empty()) {
        // No contents page: list the pages by their titles.
        for (const QString& path : file_->files()) {
            if (!path.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) &&
                !path.endsWith(QLatin1String(".html"), Qt::CaseInsensitive))
                continue;
            const auto html = file_->read(path);
            entries.push_back({pageTitle(html ? decodeText(*html) : QString(), path.mid(1)), path, {}});
        }
    }
    addEntries(nullptr, entries);
    contents_->expandAll();
}

}  // namespace qb
