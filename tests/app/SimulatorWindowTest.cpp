// The --simulate front end: the simulated device's window drives what the main window sees.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "AppTestSupport.h"
#include "FakeSink.h"
#include "app/Mainunit.h"
#include "app/SimulatorWindow.h"
#include "config/KeyTable.h"
#include "device/DeviceLink.h"
#include "device/SimulatedDevice.h"
#include "protocol/Operations.h"

using namespace qb;
using namespace qb::test;

class SimulatorWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir noHelpFolder_;
    FakeSink sink_;
    std::unique_ptr<SimulatedDevice> device_;
    std::unique_ptr<TMainForm> form_;
    std::unique_ptr<SimulatorWindow> simulator_;

    QPushButton* button(const QString& name) { return control<QPushButton>(*form_, name); }
    bool lit(const KeyInfo& key) {
        const QLineEdit* edit = control<QLineEdit>(*form_, QStringLiteral("SwitchEdit") + keySuffix(key));
        return edit->palette().color(QPalette::Base) == QColor(0, 255, 0);
    }

private slots:
    void init() {
        sink_ = FakeSink();
        device_ = std::make_unique<SimulatedDevice>();
        form_ = std::make_unique<TMainForm>(*device_, noHelpFolder_.path());
        form_->setUserSink(&sink_);
        simulator_ = std::make_unique<SimulatorWindow>(*device_);
        form_->show();
        simulator_->placeBeside(*form_);
        simulator_->show();
    }
    void cleanup() {
        simulator_.reset();
        form_.reset();
        device_.reset();
    }

    void holdingAPadKeyLightsItsLegendDuringTheKeypadTest() {
        const KeyInfo& five = kKeys[5];
        QPushButton* pad = simulator_->padButton(five.keyNumber);
        QCOMPARE(pad->text(), QStringLiteral("5"));
        QTest::mouseClick(button(QStringLiteral("TestkeypadButton")), Qt::LeftButton);
        QTest::mousePress(pad, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(lit(five), 5000);
        for (const KeyInfo& key : kKeys)
            if (key.legendIndex != five.legendIndex) QVERIFY(!lit(key));
        QTest::mouseRelease(pad, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!lit(five), 5000);
        QTest::mouseClick(button(QStringLiteral("TestkeypadButton")), Qt::LeftButton);
        QVERIFY(sink_.errors().empty());
    }

    void latchedKeysStayDownUntilClickedAgain() {
        control<QCheckBox>(*simulator_, QStringLiteral("SimLatch"))->setChecked(true);
        QPushButton* d = simulator_->padButton(16);
        QPushButton* one = simulator_->padButton(1);
        QTest::mouseClick(d, Qt::LeftButton);
        QCOMPARE(device_->counters().reportsReceived, std::size_t(0));
        QTest::mouseClick(button(QStringLiteral("TestkeypadButton")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(lit(kKeys[15]), 5000);
        QTest::mouseClick(one, Qt::LeftButton);  // one key at a time
        QVERIFY(!d->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(lit(kKeys[0]) && !lit(kKeys[15]), 5000);
        QTest::mouseClick(one, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!lit(kKeys[0]), 5000);
    }

    void unplugAndProgramModeReachTheUser() {
        auto* plugged = control<QCheckBox>(*simulator_, QStringLiteral("SimPlugged"));
        QVERIFY(plugged->isChecked());
        QTest::mouseClick(button(QStringLiteral("ReadButton")), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(sink_.texts(FakeSink::Kind::Information).size(), std::size_t(1), 5000);

        plugged->setChecked(false);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->link().deviceOpen(), 5000);
        QTest::mouseClick(button(QStringLiteral("ReadButton")), Qt::LeftButton);
        QCOMPARE(sink_.errors(), std::vector<std::u16string>{kCannotFindText});

        plugged->setChecked(true);
        control<QCheckBox>(*simulator_, QStringLiteral("SimProgramMode"))->setChecked(true);
        QTest::mouseClick(button(QStringLiteral("WriteButton")), Qt::LeftButton);
        QCOMPARE(sink_.errors().size(), std::size_t(2));
        QVERIFY(sink_.errors()[1] == kProgramModeText);

        // Back to the application: the program-mode connection is lost when the device re-enumerates.
        control<QCheckBox>(*simulator_, QStringLiteral("SimProgramMode"))->setChecked(false);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->link().deviceOpen(), 5000);
        QTest::mouseClick(button(QStringLiteral("WriteButton")), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(sink_.texts(FakeSink::Kind::Information).size(), std::size_t(2), 10000);
        QCOMPARE(sink_.errors().size(), std::size_t(2));
    }

    void droppedAnswerTimesOut() {
        QTest::mouseClick(control<QPushButton>(*simulator_, QStringLiteral("SimDropAnswer")), Qt::LeftButton);
        QTest::mouseClick(button(QStringLiteral("ReadButton")), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(sink_.errors().size(), std::size_t(1), 5000);
        QVERIFY(sink_.errors()[0] == kCannotCommunicateText);
        QVERIFY(button(QStringLiteral("ReadButton"))->isEnabled());
    }

    void answerDelayIsTheDevices() {
        control<QSpinBox>(*simulator_, QStringLiteral("SimAnswerDelay"))->setValue(1500);
        QTest::mouseClick(button(QStringLiteral("ReadButton")), Qt::LeftButton);
        // 1.5 s is longer than the 1 s the tool waits for an answer; the late answers still finish the read.
        QTRY_COMPARE_WITH_TIMEOUT(sink_.errors().size(), std::size_t(1), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(sink_.texts(FakeSink::Kind::Information).size(), std::size_t(1), 10000);
    }
};

QTEST_MAIN(SimulatorWindowTest)
#include "SimulatorWindowTest.moc"
