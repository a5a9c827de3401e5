// Closing the window by its close box, with and without unsaved changes.
#include "AppTestSupport.h"
#include "config/FileFlows.h"

class MainFormCloseTest : public FormTest {
    Q_OBJECT

private slots:
    // The close box asks the close question; Cancel keeps the window and the edit, No closes.
    void closeBoxAsks() {
        retype(message('7'), QStringLiteral("SEVEN"));
        sink_.answers = {Answer::Cancel, Answer::No};
        QVERIFY(!form_->close());
        QCOMPARE(message('7')->text(), QStringLiteral("SEVEN"));
        QVERIFY(form_->close());
        QCOMPARE(sink_.questions(), (std::vector<std::u16string>{kDataChangedText, kDataChangedText}));
    }

    // Unchanged, the window closes without asking; once closed, it neither ticks nor holds the device.
    void closingReleasesTheDevice() {
        SimulatedDevice device;
        connectTo(device);
        click(*form_, "TestkeypadButton");
        QTRY_VERIFY(device.counters().openHandles > 0);
        QVERIFY(form_->close());
        QVERIFY(sink_.shown.empty());
        QCOMPARE(device.counters().openHandles, std::size_t(0));
        QVERIFY(!control<QTimer>(*form_, "Timer1")->isActive());
        form_.reset();
    }
};

QB_APP_TEST(MainFormCloseTest)
#include "MainFormCloseTest.moc"
