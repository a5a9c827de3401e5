// The Help button and the help window, the compiled help file's contents, and the pieces they are built from.
#include <fstream>
#include <memory>

#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTreeWidget>

#include "AppTestSupport.h"
#include "FakeSink.h"
#include "app/HelpContents.h"
#include "app/HelpViewer.h"
#ifdef QB_HAVE_CHMLIB
#include "app/ChmFile.h"
#include "app/HelpWindow.h"
#endif

using namespace qb;
using namespace qb::test;

namespace {

QWidget* openHelpWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("HelpWindow")) return w;
    return nullptr;
}

QStringList names(const std::vector<ContentsEntry>& entries) {
    QStringList list;
    for (const ContentsEntry& e : entries) list << e.name;
    return list;
}

}  // namespace

class HelpTest : public QObject {
    Q_OBJECT

private:
    NoDeviceTransport transport_;
    FakeSink sink_;

    static QString builtHelpFolder() {
#ifdef QB_HELP_DIR
        return QStringLiteral(QB_HELP_DIR);
#else
        return QString();
#endif
    }

private slots:
    void initTestCase() {
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void cleanup() {
        help::CloseAll();
    }

    // ---- The button ----

    void withoutTheHelpFileTheButtonIsHidden() {
        QTemporaryDir empty;
        TMainForm form(transport_, empty.path());
        QVERIFY(control<QPushButton>(form, QStringLiteral("HelpButton"))->isHidden());
        QCOMPARE(form.helpFilePath(), empty.path() + QStringLiteral("/quillanterbrooke.chm"));
        QVERIFY(!help::HelpLibraryLoaded());
    }

    void aFolderNamedLikeTheHelpFileIsNoHelpFile() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("quillanterbrooke.chm")));
        TMainForm form(transport_, dir.path());
        QVERIFY(control<QPushButton>(form, QStringLiteral("HelpButton"))->isHidden());
    }

    void programFolderPathIsNormalised() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        TMainForm form(transport_, dir.path() + QStringLiteral("/sub/../"));
        QCOMPARE(form.helpFilePath(), dir.path() + QStringLiteral("/quillanterbrooke.chm"));
    }

#ifdef QB_HAVE_CHMLIB
    void withTheHelpFileTheButtonShowsAndOpensTheHelpWindow() {
        if (builtHelpFolder().isEmpty()) QSKIP("the help file is not built (no chmcmd)");
        auto form = std::make_unique<TMainForm>(transport_, builtHelpFolder());
        form->setUserSink(&sink_);
        form->show();
        auto* button = control<QPushButton>(*form, QStringLiteral("HelpButton"));
        QVERIFY(!button->isHidden());
        QVERIFY(help::HelpLibraryLoaded());

        QTest::mouseClick(button, Qt::LeftButton);
        QWidget* window = openHelpWindow();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(window->isWindow());
        QCOMPARE(window->parentWidget(), nullptr);  // not owned by the main window
        auto* browser = window->findChild<QTextBrowser*>(QStringLiteral("HelpBrowser"));
        QVERIFY(browser);
        QVERIFY(browser->toPlainText().contains(QStringLiteral("Getting started")));

        // A second click shows the same window, not another one.
        QTest::mouseClick(button, Qt::LeftButton);
        int helpWindows = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("HelpWindow")) ++helpWindows;
        QCOMPARE(helpWindows, 1);

        // Closing the main window closes the help window and releases the viewer.
        QVERIFY(form->close());
        QCOMPARE(openHelpWindow(), nullptr);
        QVERIFY(!help::HelpLibraryLoaded());
    }

    void helpWindowFollowsContentsAndLinks() {
        if (builtHelpFolder().isEmpty()) QSKIP("the help file is not built (no chmcmd)");
        auto file = ChmFile::open(builtHelpFolder() + QStringLiteral("/quillanterbrooke.chm"));
        QVERIFY(file);
        HelpWindow window(std::move(file));
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        QTreeWidget* tree = window.contents();
        QStringList top;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) top << tree->topLevelItem(i)->text(0);
        QCOMPARE(top, (QStringList{"Quillanterbrooke Interface", "The main window", "Writing key messages",
                                   "Data files", "Working with the device", "Troubleshooting"}));

        // Choosing a contents entry shows its page.
        const auto found =
            tree->findItems(QStringLiteral("Linux: device permissions"), Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        tree->setCurrentItem(found.first());
        QCOMPARE(window.browser()->source().path(), QStringLiteral("/troubleshooting.html"));
        QVERIFY(window.browser()->toPlainText().contains(QStringLiteral("70-quillanterbrooke.rules")));

        // A link inside a page, relative with a fragment, loads the page it names.
        emit window.browser()->anchorClicked(QUrl(QStringLiteral("device.html#messages")));
        QCOMPARE(window.browser()->source().path(), QStringLiteral("/device.html"));
        QVERIFY(window.browser()->toPlainText().contains(QStringLiteral("Download Complete")));
        // The page's style sheet comes out of the help file too.
        QVERIFY(window.browser()
                    ->loadResource(QTextDocument::StyleSheetResource, QUrl(QStringLiteral("style.css")))
                    .toString()
                    .contains(QStringLiteral("font-family")));
        // A page that is not there says so instead of showing the previous one.
        emit window.browser()->anchorClicked(QUrl(QStringLiteral("missing.html")));
        QVERIFY(window.browser()->toPlainText().contains(QStringLiteral("not in the help file")));
    }

    // ---- What the help file holds ----

    void helpFileHeader() {
        if (builtHelpFolder().isEmpty()) QSKIP("the help file is not built (no chmcmd)");
        auto file = ChmFile::open(builtHelpFolder() + QStringLiteral("/quillanterbrooke.chm"));
        QVERIFY(file);
        QCOMPARE(file->title(), QStringLiteral("Quillanterbrooke Help"));
        QCOMPARE(file->defaultTopic(), QStringLiteral("/index.html"));
        QCOMPARE(file->contentsFile(), QStringLiteral("/toc.hhc"));
        QVERIFY(file->read(QStringLiteral("INDEX.HTML")).has_value());  // names are not case-sensitive
        QVERIFY(!file->read(QStringLiteral("/nothing.html")).has_value());
    }

    // Every contents entry and every link between pages leads to a page of the file, and to an anchor on it.
    void everyContentsEntryAndLinkResolves() {
        if (builtHelpFolder().isEmpty()) QSKIP("the help file is not built (no chmcmd)");
        auto file = ChmFile::open(builtHelpFolder() + QStringLiteral("/quillanterbrooke.chm"));
        QVERIFY(file);
        auto pageHasTarget = [&file](const QString& target) -> bool {
            const qsizetype hash = target.indexOf(QLatin1Char('#'));
            const auto page = file->read(hash < 0 ? target : target.left(hash));
            if (!page) return false;
            if (hash < 0) return true;
            return QString::fromUtf8(*page).contains(QStringLiteral("id=\"%1\"").arg(target.mid(hash + 1)));
        };

        std::vector<const ContentsEntry*> pending;
        const auto toc = ParseSitemap(QString::fromUtf8(*file->read(file->contentsFile())));
        for (const ContentsEntry& e : toc) pending.push_back(&e);
        int entries = 0;
        while (!pending.empty()) {
            const ContentsEntry* e = pending.back();
            pending.pop_back();
            ++entries;
            QVERIFY2(pageHasTarget(e->local), qPrintable(e->local));
            for (const ContentsEntry& c : e->children) pending.push_back(&c);
        }
        QVERIFY(entries >= 20);

        static const QRegularExpression href(QStringLiteral("href=\"([^\"]+)\""));
        int links = 0;
        for (const QString& path : file->files()) {
            if (!path.endsWith(QLatin1String(".html"))) continue;
            const QString html = QString::fromUtf8(*file->read(path));
            auto it = href.globalMatch(html);
            while (it.hasNext()) {
                QString target = it.next().captured(1);
                if (target.startsWith(QLatin1String("http"))) continue;
                if (target.startsWith(QLatin1Char('#'))) target.prepend(path);
                QVERIFY2(pageHasTarget(target), qPrintable(path + QStringLiteral(" -> ") + target));
                ++links;
            }
        }
        QVERIFY(links >= 20);
    }

    void helpTellsEveryMessageAndTheUdevRule() {
        if (builtHelpFolder().isEmpty()) QSKIP("the help file is not built (no chmcmd)");
        auto file = ChmFile::open(builtHelpFolder() + QStringLiteral("/quillanterbrooke.chm"));
        QVERIFY(file);
        QString all;
        for (const QString& path : file->files())
            if (path.endsWith(QLatin1String(".html"))) all += QString::fromUtf8(*file->read(path));
        const char16_t* texts[] = {kDownloadCompleteText, kReadCompleteText,      kCannotFindText,
                                   kProgramModeText,      kCannotCommunicateText, kNotQuillanterbrookeText,
                                   u"Error on Message:",  kIncompatibleFileText,  kErrorOpeningText,
                                   kErrorSavingText,      u"Cannot load"};
        for (const char16_t* text : texts)
            QVERIFY2(all.contains(QString::fromUtf16(text)), qPrintable(QString::fromUtf16(text)));

        // The rule the help shows is the rule the source ships.
        QFile rules(QStringLiteral(QB_SOURCE_DIR "/packaging/70-quillanterbrooke.rules"));
        QVERIFY(rules.open(QIODevice::ReadOnly | QIODevice::Text));
        QString rule;
        for (const QString& line : QString::fromUtf8(rules.readAll()).split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("SUBSYSTEM=="))) rule = line;
        QVERIFY(rule.contains(QLatin1String("04d8")) && rule.contains(QLatin1String("fd37")));
        QTextDocument shown;
        shown.setHtml(all);
        QVERIFY(shown.toPlainText().contains(rule));
    }

    void normalisedPaths() {
        QCOMPARE(NormaliseChmPath(QStringLiteral("index.html")), QStringLiteral("/index.html"));
        QCOMPARE(NormaliseChmPath(QStringLiteral("./a/../device.html#write")), QStringLiteral("/device.html"));
        QCOMPARE(NormaliseChmPath(QStringLiteral("../../etc/passwd")), QStringLiteral("/etc/passwd"));
        QCOMPARE(NormaliseChmPath(QStringLiteral("sub\\page.htm?x=1")), QStringLiteral("/sub/page.htm"));
        QCOMPARE(NormaliseChmPath(QStringLiteral("/")), QStringLiteral("/"));
    }

    void notACompiledHelpFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("quillanterbrooke.chm"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
        }
        QVERIFY(!ChmFile::open(path));
        QVERIFY(!ChmFile::open(dir.filePath(QStringLiteral("absent.chm"))));
    }
#endif

    // ---- The contents page reader ----

    void sitemapNesting() {
        const QString hhc = QStringLiteral(R"(
<HTML><BODY>
<OBJECT type="text/site properties"><param name="Window Styles" value="0x800025"></OBJECT>
<UL>
  <LI><OBJECT type="text/sitemap"><param name="Name" value="One"><param name="Local" value="one.html"></OBJECT>
  <UL>
    <LI><OBJECT type="text/sitemap"><param name="Name" value="One.A"><param name="Local" value="one.html#a"></OBJECT>
    <ul><li><object type="text/sitemap"><PARAM NAME="name" VALUE="Deep &amp; low"><param name="local" value="d.html"></object></ul>
    <LI><OBJECT type="text/sitemap"><param name="Name" value="One.B"><param name="Local" value="one.html#b"></OBJECT>
  </UL>
  <LI><OBJECT type="text/sitemap"><param name="Name" value="Two"><param name="Local" value="two.html"></OBJECT>
</UL>
</BODY></HTML>)");
        const std::vector<ContentsEntry> toc = ParseSitemap(hhc);
        QCOMPARE(names(toc), (QStringList{"One", "Two"}));
        QCOMPARE(toc[0].local, QStringLiteral("one.html"));
        QCOMPARE(names(toc[0].children), (QStringList{"One.A", "One.B"}));
        QCOMPARE(toc[0].children[0].children.size(), std::size_t(1));
        QCOMPARE(toc[0].children[0].children[0].name, QStringLiteral("Deep & low"));
        QCOMPARE(toc[0].children[0].children[0].local, QStringLiteral("d.html"));
        QVERIFY(toc[1].children.empty());
    }

    void sitemapToleratesLooseLists() {
        // A list closed too often, a list with nothing before it, and no list at all.
        const QString loose = QStringLiteral(
            "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"A\"></OBJECT></UL></UL>"
            "<UL><UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"B\"></OBJECT></UL></UL>");
        QCOMPARE(names(ParseSitemap(loose)), (QStringList{"A", "B"}));
        const QString flat =
            QStringLiteral("<OBJECT type=\"text/sitemap\"><param name=\"Local\" value=\"x.html\"></OBJECT>");
        const auto entries = ParseSitemap(flat);
        QCOMPARE(entries.size(), std::size_t(1));
        QCOMPARE(entries[0].local, QStringLiteral("x.html"));
        QVERIFY(ParseSitemap(QStringLiteral("<html>nothing</html>")).empty());
    }
};

QTEST_MAIN(HelpTest)
#include "HelpTest.moc"
