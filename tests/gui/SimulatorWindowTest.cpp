// The --simulate front end: the simulated device's window drives what the main window sees, also in its keypad
// test. Its drop-an-answer button: StatusLineTest.
#include "AppTestSupport.h"

class SimulatorWindowTest : public SimulatedFormTest {
    Q_OBJECT

    QPushButton* pad(char key) { return simulator_->padButton(keyNamed(key).keyNumber); }

private slots:

    void holdingAPadKeyLightsItsLegendDuringTheKeypadTest() {
        click(*form_, "TestkeypadButton");
        QTest::mousePress(pad('5'), Qt::LeftButton);
        QTRY_VERIFY(lit('5'));
        QTest::mouseRelease(pad('5'), Qt::LeftButton);
        QTRY_VERIFY(lit(0));
        QVERIFY(sink_.shown.empty());
    }

    // Latched, a clicked key stays down until clicked again or another key is clicked.
    void latchedKeysStayDownUntilClickedAgain() {
        option("SimLatch")->setChecked(true);
        QTest::mouseClick(pad('D'), Qt::LeftButton);
        click(*form_, "TestkeypadButton");
        QTRY_VERIFY(lit('D'));
        QTest::mouseClick(pad('1'), Qt::LeftButton);
        QTRY_VERIFY(lit('1'));
        QTest::mouseClick(pad('1'), Qt::LeftButton);
        QTRY_VERIFY(lit(0));
    }

    // 1.5 s is longer than the 1 s the tool waits for an answer.
    void answerDelayIsTheDevices() {
        control<QSpinBox>(*simulator_, "SimAnswerDelay")->setValue(1500);
        click(*form_, "ReadButton");
        QTRY_COMPARE(sink_.errors(), std::vector<std::u16string>{kCannotCommunicateText});
    }
};

QB_APP_TEST(SimulatorWindowTest)
#include "SimulatorWindowTest.moc"
