// The pieces under the window: the Qt dispatcher the device link posts to, the application object that keeps
// going after a failed handler, and the file dialogs' default extension. Also the one main of the window's tests.
#include <fstream>
#include <stdexcept>
#include <thread>

#include <QThread>

#include "AppTestSupport.h"
#include "app/Application.h"
#include "app/QtDispatcher.h"

namespace {

// Throws from its event handler, as a faulty button handler would.
class ThrowingObject : public QObject {
public:
    int handled = 0;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::runtime_error("the handler failed");
        return e->type() == QEvent::User + 1 ? ++handled > 0 : QObject::event(e);
    }
};

}  // namespace

class AppPartsTest : public QObject {
    Q_OBJECT

private slots:
    // Posted from any thread, work runs later, on the window's thread, in the order posted; never inline.
    void dispatcherRunsWorkLaterOnItsThreadInOrder() {
        QtDispatcher dispatcher;
        std::vector<int> ran;  // the work's number, or -1 for work run on another thread
        auto work = [&ran](int i) {
            return [&ran, i] { ran.push_back(QThread::currentThread() == qApp->thread() ? i : -1); };
        };
        dispatcher.post(work(0));
        std::thread([&] {
            for (int i = 1; i < 50; ++i) dispatcher.post(work(i));
        }).join();
        QVERIFY(ran.empty());
        QTRY_COMPARE(ran.size(), std::size_t(50));
        for (int i = 0; i < 50; ++i) QCOMPARE(ran[i], i);
    }

    void workQueuedForAGoneDispatcherIsDropped() {
        int ran = 0;
        {
            QtDispatcher dispatcher;
            for (int i = 0; i < 3; ++i) dispatcher.post([&ran] { ++ran; });
        }
        QTest::qWait(20);
        QCOMPARE(ran, 0);
    }

    void failedHandlerIsShownAndTheLoopGoesOn() {
        ThrowingObject target;
        QString shown;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        onNextModalBox([&](QMessageBox* box) {
            shown = box->text();
            icon = box->icon();
            box->buttons().first()->click();
        });
        QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
        QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 1)));
        QTRY_COMPARE(target.handled, 1);
        QCOMPARE(shown, QStringLiteral("the handler failed"));
        QCOMPARE(icon, QMessageBox::Critical);
    }

    void bareNameGetsDatExtension() {
        QTemporaryDir dir;
        const std::filesystem::path folder(dir.path().toStdString());
        const QString dat = QStringLiteral("dat");
        QCOMPARE(WithDefaultExtension(folder / "keypad", dat, false), folder / "keypad.dat");
        QCOMPARE(WithDefaultExtension(folder / "keypad.txt", dat, false), folder / "keypad.txt");
        QCOMPARE(WithDefaultExtension(folder / "v1.2" / "keypad", dat, true), folder / "v1.2" / "keypad.dat");
        // Opening: a file of exactly the typed name is taken as it is.
        std::ofstream(folder / "plain") << "x";
        QCOMPARE(WithDefaultExtension(folder / "plain", dat, true), folder / "plain");
        QCOMPARE(WithDefaultExtension(folder / "plain", dat, false), folder / "plain.dat");
    }
};

QB_APP_TEST(AppPartsTest)

// Runs every test class, or only the one the first argument names (the rest are Qt Test's options).
int main(int argc, char** argv) {
    qb::Application app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const bool one = argc > 1 && testClasses().count(argv[1]);
    int failed = 0;
    for (const auto& [name, run] : testClasses())
        if (!one || name == argv[1]) failed += one ? run(argc - 1, argv + 1) : run(argc, argv);
    return failed;
}

#include "AppPartsTest.moc"
