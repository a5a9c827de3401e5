// The status line under the designed area: presence as the simulated device comes and goes, the device
// chooser with two encoders, and the 50 ms timer that runs only while an operation needs it.
#include "AppTestSupport.h"

class StatusLineTest : public SimulatedFormTest {
    Q_OBJECT

    QString status() const { return control<QLabel>(*form_, "PresenceText")->text(); }
    bool ticking() const { return control<QTimer>(*form_, "Timer1")->isActive(); }

private slots:

    // The line is the window's last, under the 882 x 599 designed area, which keeps its place.
    void liesUnderTheDesignedArea() {
        const QWidget* line = control<QWidget>(*form_, "StatusLine");
        QVERIFY(line->geometry().top() >= 599);
        QCOMPARE(line->geometry().bottom() + 1, form_->height());
        QCOMPARE(form_->width(), 882);
        QVERIFY(control<QWidget>(*form_, "GroupBox2")->geometry().bottom() < 599);
    }

    // Each change shows within a second of the simulated device's checkboxes, without any operation; every text
    // the line can show: PresenceTest.
    void followsPlugAndProgramMode() {
        const QString at = QStringLiteral(" at sim:quillanterbrooke");
        QCOMPARE(status(), QStringLiteral("VELMORA attached") + at);
        option("SimPlugged")->setChecked(false);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("VELMORA not attached"), 1000);
        option("SimPlugged")->setChecked(true);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("VELMORA attached") + at, 1000);
        option("SimProgramMode")->setChecked(true);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("VELMORA in program mode") + at, 1000);
        QVERIFY(sink_.shown.empty());
    }

    // Idle, nothing ticks; a read ticks until its last answer; a keypad test until it has stopped; a read whose
    // answer the simulated device drops until it has timed out, and its button is free again.
    void timerRunsOnlyWhileAnOperationNeedsIt() {
        QVERIFY(!ticking());
        device_->setSerial(12345);
        device_->setVersion("1.2");
        click(*form_, "ReadButton");
        QVERIFY(ticking());
        QTRY_COMPARE(sink_.texts(FakeSink::Kind::Information), std::vector<std::u16string>{kReadCompleteText});
        QVERIFY(!ticking());
        QVERIFY(status().endsWith(QStringLiteral(": appware version 1.2, serial number 12345")));

        click(*form_, "TestkeypadButton");
        QVERIFY(ticking());
        click(*form_, "TestkeypadButton");
        QTRY_VERIFY(!ticking());

        QTest::mouseClick(control(*simulator_, "SimDropAnswer"), Qt::LeftButton);
        click(*form_, "ReadButton");
        QTRY_COMPARE(sink_.errors(), std::vector<std::u16string>{kCannotCommunicateText});
        QTRY_VERIFY(!ticking());  // once a late answer is no longer waited for
        QVERIFY(control(*form_, "ReadButton")->isEnabled());
    }

    // With two encoders the user chooses; the operations then talk to that one only.
    void chooserDecidesTheDeviceWithTwoAttached() {
        SimulatedDevice a, b;
        a.setSerialString("A-1");
        b.setSerialString("B-2");
        SimulatedBus bus;
        bus.add({{}, "/dev/hidraw1", &a});
        bus.add({{}, "/dev/hidraw2", &b});
        connectTo(bus);
        auto* chooser = control<QComboBox>(*form_, "DeviceChooser");
        QVERIFY(chooser->isVisible());
        QCOMPARE(chooser->count(), 2);
        QCOMPARE(status(), QStringLiteral("2 encoders attached; the operations use:"));
        chooser->setFocus();
        QTest::keyClick(chooser, Qt::Key_Down);
        QCOMPARE(chooser->currentText(), QStringLiteral("VELMORA attached, USB serial B-2"));
        click(*form_, "ReadButton");
        QVERIFY(!chooser->isEnabled());
        QTRY_COMPARE(sink_.texts(FakeSink::Kind::Information).size(), std::size_t(1));
        QVERIFY(chooser->isEnabled());
        QCOMPARE(a.receivedCount(), std::size_t(0));
        QCOMPARE(b.receivedCount(), std::size_t(3));
        form_.reset();  // before the devices and the bus it uses
    }
};

QB_APP_TEST(StatusLineTest)
#include "StatusLineTest.moc"
