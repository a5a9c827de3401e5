// The pieces under the window: the Qt dispatcher the device link posts to and the application object that keeps
// going after a failed handler. Also the one main of the window's tests.
#include <stdexcept>
#include <thread>

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

#include "AppTestSupport.h"
#include "config/Backups.h"
#include "gui/Application.h"
#include "gui/QtDispatcher.h"
#include "gui/RememberedSettings.h"

class AppPartsTest : public QObject {
    Q_OBJECT

private slots:
    // The remembered choices are not written at start, only when one changes; a link or a FIFO standing where the
    // settings file goes is never written through or waited on.
    void rememberedChoicesHarmNothingInTheirPlace() {
        const QString file = QSettings(QStringLiteral("VELMORA"), QStringLiteral("Quillanterbrooke")).fileName();
        QFile::remove(file);
        QVERIFY(RememberedSettings().usable());
        QDir().mkpath(QFileInfo(file).path());
        {
            SimulatedDevice device;
            TMainForm form(device);
            QVERIFY2(!QFileInfo::exists(file), "written at start");
            control<QCheckBox>(form, "VerifyWritesCheckBox")->toggle();
            QVERIFY(QFileInfo(file).isFile());
            QVERIFY(RememberedSettings().value(QStringLiteral("verifyWrites"), false));
        }
        QFile::remove(file);
        const QTemporaryDir dir;
        const QString precious = dir.filePath(QStringLiteral("precious.txt"));
        {
            QFile keep(precious);
            QVERIFY(keep.open(QIODevice::WriteOnly));
            keep.write("keep me");
        }
        QVERIFY(QFile::link(precious, file));
        {
            RememberedSettings behindALink;
            QVERIFY(!behindALink.usable());
            behindALink.setValue(QStringLiteral("verifyWrites"), true);
        }
        QFile kept(precious);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("keep me"));
        QFile::remove(file);
#ifndef Q_OS_WIN
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        {
            SimulatedDevice device;
            TMainForm form(device);  // would wait for a writer for good, were the FIFO read
            control<QCheckBox>(form, "ReadMessagesCheckBox")->toggle();
            QVERIFY(QFileInfo(file).isFile() == false);
        }
        QFile::remove(file);
#endif
    }

    // Posted from another thread, work runs later, on the window's thread, in the order posted; never inline.
    // Work still queued when the dispatcher goes is dropped.
    void dispatcher() {
        std::vector<int> ran;  // the work's number, or -1 for work run on another thread
        {
            QtDispatcher dispatcher;
            std::thread([&] {
                for (int i = 0; i < 20; ++i)
                    dispatcher.post([&ran, i] { ran.push_back(QThread::currentThread() == qApp->thread() ? i : -1); });
            }).join();
            dispatcher.post([&ran] { ran.push_back(20); });
            QVERIFY(ran.empty());
            QTRY_COMPARE(ran.size(), std::size_t(21));
            for (int i = 0; i <= 20; ++i) QCOMPARE(ran[i], i);
            dispatcher.post([&ran] { ran.push_back(-2); });
        }
        QCoreApplication::processEvents();  // would run it, were it still queued
        QCOMPARE(ran.size(), std::size_t(21));
    }

    // The box is wide enough for a window manager to show its title whole beside its title bar's buttons.
    void failedHandlerIsShownAndTheLoopGoesOn() {
        const QString name = QGuiApplication::applicationDisplayName();
        const QString title = QStringLiteral("Quillanterbrooke Quillanterbrooke");
        QGuiApplication::setApplicationDisplayName(title);
        QString shown;
        int width = 0;
        int titleWidth = 0;
        bool wentOn = false;
        onNextModalBox([&](QMessageBox* box) {
            shown = box->text();
            width = box->width();
            QFont bold = box->font();
            bold.setBold(true);
            titleWidth = QFontMetrics(bold).horizontalAdvance(title);
            box->buttons().first()->click();
        });
        QMetaObject::invokeMethod(
            qApp, [] { throw std::runtime_error("the handler failed"); }, Qt::QueuedConnection);
        QMetaObject::invokeMethod(
            qApp, [&] { wentOn = true; }, Qt::QueuedConnection);
        QTRY_VERIFY(wentOn);
        QCOMPARE(shown, QStringLiteral("the handler failed"));
        QGuiApplication::setApplicationDisplayName(name);
        QVERIFY2(width > titleWidth + 100, qPrintable(QStringLiteral("%1 for %2").arg(width).arg(titleWidth)));
    }
};

QB_APP_TEST(AppPartsTest)

// Runs every test class, or only the one the first argument names (the rest are Qt Test's options).
int main(int argc, char** argv) {
    qb::Application app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // Remembered choices go to a folder of this run's own: not the user's, and not shared with the other test
    // programs running at the same time (a check box one of them ticks would change what another one reads).
    QStandardPaths::setTestModeEnabled(true);
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    // So are the backups made before each write.
    const QTemporaryDir backups;
    qputenv(qb::kBackupDirVariable, backups.path().toLocal8Bit());
    const bool one = argc > 1 && testClasses().count(argv[1]);
    int failed = 0;
    for (const auto& [name, run] : testClasses())
        if (!one || name == argv[1]) failed += one ? run(argc - 1, argv + 1) : run(argc, argv);
    return failed;
}

#include "AppPartsTest.moc"
