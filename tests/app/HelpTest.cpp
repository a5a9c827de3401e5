// The Help button and the help window, the compiled help file's contents, and the pieces they are built from.
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTreeWidget>

#include "AppTestSupport.h"
#include "app/HelpContents.h"
#include "app/HelpViewer.h"
#ifdef QB_HAVE_CHMLIB
#include "app/ChmFile.h"
#include "app/HelpWindow.h"
#endif

namespace {

// The help file as the build makes it; empty when it is not built (no chmcmd).
#ifdef QB_HELP_DIR
const QString kBuiltHelp = QStringLiteral(QB_HELP_DIR "/quillanterbrooke.chm");
#else
const QString kBuiltHelp;
#endif

QList<QWidget*> helpWindows() {
    QList<QWidget*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("HelpWindow")) found << w;
    return found;
}

QStringList names(const std::vector<ContentsEntry>& entries) {
    QStringList list;
    for (const ContentsEntry& e : entries) list << e.name;
    return list;
}

}  // namespace

class HelpTest : public FormTest {
    Q_OBJECT

private slots:
    void cleanup() {
        help::CloseAll();
        form_.reset();
    }

    // Only a file of the help file's name, beside the program, shows the button; a folder of that name does not.
    void withoutTheHelpFileTheButtonIsHidden() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("sub")));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("quillanterbrooke.chm")));
        connectTo(noDevice_, dir.path() + QStringLiteral("/sub/../"));
        QVERIFY(control(*form_, QStringLiteral("HelpButton"))->isHidden());
        QCOMPARE(form_->helpFilePath(), dir.path() + QStringLiteral("/quillanterbrooke.chm"));
        QVERIFY(!help::HelpLibraryLoaded());
    }

#ifdef QB_HAVE_CHMLIB
    void withTheHelpFileTheButtonShowsAndOpensTheHelpWindow() {
        if (kBuiltHelp.isEmpty()) QSKIP("the help file is not built");
        connectTo(noDevice_, QFileInfo(kBuiltHelp).path());
        auto* button = control(*form_, QStringLiteral("HelpButton"));
        QVERIFY(!button->isHidden());
        QVERIFY(help::HelpLibraryLoaded());

        QTest::mouseClick(button, Qt::LeftButton);
        QTest::mouseClick(button, Qt::LeftButton);  // a second click shows the same window, not another one
        QCOMPARE(helpWindows().size(), 1);
        auto* window = qobject_cast<HelpWindow*>(helpWindows().first());
        QVERIFY(window->isVisible() && window->isWindow() && !window->parentWidget());  // no owner
        ChmBrowser* browser = window->browser();
        QVERIFY(browser->toPlainText().contains(QStringLiteral("Getting started")));

        // Choosing a contents entry shows its page.
        const auto found = window->contents()->findItems(QStringLiteral("Linux: device permissions"),
                                                         Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        window->contents()->setCurrentItem(found.first());
        QCOMPARE(browser->source().path(), QStringLiteral("/troubleshooting.html"));
        // A link inside a page, relative with a fragment, loads the page it names.
        emit browser->anchorClicked(QUrl(QStringLiteral("./a/../device.html#messages")));
        QCOMPARE(browser->source().path(), QStringLiteral("/device.html"));
        QVERIFY(browser->toPlainText().contains(QStringLiteral("Download Complete")));
        // A page that is not there says so instead of showing the previous one.
        emit browser->anchorClicked(QUrl(QStringLiteral("missing.html")));
        QVERIFY(browser->toPlainText().contains(QStringLiteral("not in the help file")));

        // Closing the main window closes the help window and releases the viewer.
        QVERIFY(form_->close());
        QVERIFY(helpWindows().isEmpty());
        QVERIFY(!help::HelpLibraryLoaded());
    }

    // Every contents entry and every link between pages leads to a page of the file, and to an anchor on it; the
    // pages show the device rule the source ships.
    void helpFileContents() {
        if (kBuiltHelp.isEmpty()) QSKIP("the help file is not built");
        auto file = ChmFile::open(kBuiltHelp);
        QVERIFY(file);
        QVERIFY(file->read(QStringLiteral("INDEX.HTML")).has_value());  // names are not case-sensitive
        QVERIFY(!file->read(QStringLiteral("/nothing.html")).has_value());
        // Every target as "page#anchor": the contents entries', and the links' of every page.
        QStringList targets;
        std::function<void(const std::vector<ContentsEntry>&)> addContents = [&](const auto& entries) {
            for (const ContentsEntry& e : entries) {
                targets << e.local;
                addContents(e.children);
            }
        };
        addContents(ParseSitemap(QString::fromUtf8(*file->read(file->contentsFile()))));
        QVERIFY(targets.size() >= 20);
        static const QRegularExpression href(QStringLiteral("href=\"([^\"#]*)(#[^\"]*)?\""));
        QString all;
        for (const QString& path : file->files()) {
            if (!path.endsWith(QLatin1String(".html"))) continue;
            const QString html = QString::fromUtf8(*file->read(path));
            all += html;
            for (auto it = href.globalMatch(html); it.hasNext();) {
                const QRegularExpressionMatch link = it.next();
                if (!link.captured(1).startsWith(QLatin1String("http")))
                    targets << (link.captured(1).isEmpty() ? path : link.captured(1)) + link.captured(2);
            }
        }
        QVERIFY(targets.size() >= 40);
        for (const QString& target : targets) {
            const auto page = file->read(target.section(QLatin1Char('#'), 0, 0));
            const QString anchor = target.section(QLatin1Char('#'), 1);
            QVERIFY2(page && (anchor.isEmpty() || page->contains("id=\"" + anchor.toUtf8() + '"')), qPrintable(target));
        }

        // The device rule the help shows is the one the source ships.
        QFile rules(QStringLiteral(QB_SOURCE_DIR "/packaging/70-quillanterbrooke.rules"));
        QVERIFY(rules.open(QIODevice::ReadOnly));
        static const QRegularExpression ruleLine(QStringLiteral("^SUBSYSTEM==.*$"),
                                                 QRegularExpression::MultilineOption);
        const QString rule = ruleLine.match(QString::fromUtf8(rules.readAll())).captured();
        QVERIFY(rule.contains(QLatin1String("04d8")) && rule.contains(QLatin1String("fd37")));
        QTextDocument shown;
        shown.setHtml(all);
        QVERIFY(shown.toPlainText().contains(rule));
    }

    void foreignFileIsNoHelpFile() {
        QTemporaryDir dir;
        QFile junk(dir.filePath(QStringLiteral("junk.chm")));
        QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write(QByteArray(4096, 'x')) == 4096);
        junk.close();
        QVERIFY(!ChmFile::open(junk.fileName()));
        QVERIFY(!ChmFile::open(dir.filePath(QStringLiteral("absent.chm"))));
    }
#endif

    // Nested as the lists nest, in any letter case, with entities; loose lists are read too.
    void sitemap() {
        const std::vector<ContentsEntry> toc = ParseSitemap(QStringLiteral(R"(
<OBJECT type="text/site properties"><param name="Window Styles" value="0x800025"></OBJECT>
<UL><LI><OBJECT type="text/sitemap"><param name="Name" value="One"><param name="Local" value="one.html"></OBJECT>
  <UL><LI><OBJECT type="text/sitemap"><param name="Name" value="One.A"><param name="Local" value="one.html#a"></OBJECT>
    <ul><li><object type="text/sitemap"><PARAM NAME="name" VALUE="Deep &amp; low"><param name="local" value="d.html"></object></ul>
    <LI><OBJECT type="text/sitemap"><param name="Name" value="One.B"></OBJECT></UL>
  <LI><OBJECT type="text/sitemap"><param name="Name" value="Two"></OBJECT></UL></UL>
<UL><UL><LI><OBJECT type="text/sitemap"><param name="Name" value="Three"></OBJECT></UL></UL>)"));
        QCOMPARE(names(toc), (QStringList{"One", "Two", "Three"}));
        QCOMPARE(names(toc[0].children), (QStringList{"One.A", "One.B"}));
        QCOMPARE(names(toc[0].children[0].children), QStringList{"Deep & low"});
        QCOMPARE(toc[0].children[0].children[0].local, QStringLiteral("d.html"));
        QVERIFY(toc[1].children.empty() && toc[2].children.empty());
        QVERIFY(ParseSitemap(QStringLiteral("<html>nothing</html>")).empty());
    }
};

QB_APP_TEST(HelpTest)
#include "HelpTest.moc"
