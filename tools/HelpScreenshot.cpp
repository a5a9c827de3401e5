// Makes a picture of one help page in the help window at its default size: HelpScreenshot FILE.chm PAGE OUT.png
// [SCROLL], e.g. "troubleshooting.html#linux" (the window scrolls to the anchor; SCROLL pixels further down).
// Runs on any Qt platform (offscreen too): the window is rendered, not photographed.
#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QTextStream>

#include "gui/help/ChmFile.h"
#include "gui/help/HelpWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 4) {
        QTextStream(stderr) << "usage: qb_help_screenshot FILE.chm PAGE OUT.png [SCROLL]\n";
        return 2;
    }
    auto file = qb::ChmFile::open(QString::fromLocal8Bit(argv[1]));
    if (!file) return 1;
    auto* window = new qb::HelpWindow(std::move(file));
    window->show();
    window->showPage(QString::fromLocal8Bit(argv[2]));
    QTest::qWait(200);
    if (argc > 4) {
        QScrollBar* bar = window->browser()->verticalScrollBar();
        bar->setValue(bar->value() + QString::fromLocal8Bit(argv[4]).toInt());
    }
    QTest::qWait(100);
    const bool saved = window->grab().save(QString::fromLocal8Bit(argv[3]));
    delete window;
    return saved ? 0 : 1;
}
