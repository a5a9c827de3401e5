// The pieces under the window: the Qt dispatcher the device link posts to, the application object that keeps
// going after a failed handler, and the file dialogs' default extension.
#include <atomic>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <QAbstractButton>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "app/Application.h"
#include "app/Mainunit.h"
#include "app/QtDispatcher.h"

using namespace qb;

namespace {

// Throws from its event handler, as a faulty button handler would.
class ThrowingObject : public QObject {
public:
    int handled = 0;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::runtime_error("the handler failed");
        if (e->type() == QEvent::Type(QEvent::User + 1)) {
            ++handled;
            return true;
        }
        return QObject::event(e);
    }
};

}  // namespace

class AppPartsTest : public QObject {
    Q_OBJECT

private slots:
    // ---- QtDispatcher ----

    void workRunsLaterOnTheWindowThreadInOrder() {
        QtDispatcher dispatcher;
        std::vector<int> ran;
        std::vector<QThread*> threads;
        std::thread poster([&] {
            for (int i = 0; i < 50; ++i)
                dispatcher.post([&ran, &threads, i] {
                    ran.push_back(i);
                    threads.push_back(QThread::currentThread());
                });
        });
        poster.join();
        QVERIFY(ran.empty());  // nothing runs on the posting thread, nothing runs before the loop does
        QTRY_COMPARE(ran.size(), std::size_t(50));
        for (int i = 0; i < 50; ++i) QCOMPARE(ran[i], i);
        for (QThread* t : threads) QCOMPARE(t, QThread::currentThread());
    }

    void postIsNeverInline() {
        QtDispatcher dispatcher;
        bool ran = false;
        dispatcher.post([&ran] { ran = true; });
        QVERIFY(!ran);
        QCoreApplication::processEvents();
        QVERIFY(ran);
    }

    void workQueuedForAGoneDispatcherIsDropped() {
        auto ran = std::make_shared<std::atomic<int>>(0);
        {
            QtDispatcher dispatcher;
            for (int i = 0; i < 3; ++i) dispatcher.post([ran] { ++*ran; });
        }
        QCoreApplication::processEvents();
        QTest::qWait(20);
        QCOMPARE(ran->load(), 0);
    }

    // ---- Application ----

    void failedHandlerIsShownAndTheLoopGoesOn() {
        ThrowingObject target;
        QString shown;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        auto* watch = new QTimer(this);
        watch->setInterval(10);
        connect(watch, &QTimer::timeout, this, [&shown, &icon, watch] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                icon = box->icon();
                watch->stop();
                box->buttons().first()->click();
            }
        });
        watch->start();
        QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
        QCoreApplication::postEvent(&target, new QEvent(QEvent::Type(QEvent::User + 1)));
        QTRY_COMPARE(target.handled, 1);
        QCOMPARE(shown, QStringLiteral("the handler failed"));
        QCOMPARE(icon, QMessageBox::Critical);
        delete watch;
    }

    // ---- Default extension ----

    void bareNameGetsDatExtension() {
        QTemporaryDir dir;
        const std::filesystem::path folder(dir.path().toStdString());
        QCOMPARE(WithDefaultExtension(folder / "keypad", QStringLiteral("dat"), false), folder / "keypad.dat");
        QCOMPARE(WithDefaultExtension(folder / "keypad.txt", QStringLiteral("dat"), false), folder / "keypad.txt");
        QCOMPARE(WithDefaultExtension(folder / "v1.2" / "keypad", QStringLiteral("dat"), true),
                 folder / "v1.2" / "keypad.dat");
        // Opening: a file of exactly the typed name is taken as it is.
        { std::ofstream(folder / "plain") << "x"; }
        QCOMPARE(WithDefaultExtension(folder / "plain", QStringLiteral("dat"), true), folder / "plain");
        QCOMPARE(WithDefaultExtension(folder / "plain", QStringLiteral("dat"), false), folder / "plain.dat");
    }
};

int main(int argc, char** argv) {
    qb::Application app(argc, argv);
    AppPartsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AppPartsTest.moc"
