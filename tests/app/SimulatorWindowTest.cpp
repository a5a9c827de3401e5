// The --simulate front end: the simulated device's window drives what the main window sees.
#include "AppTestSupport.h"
#include "app/SimulatorWindow.h"

class SimulatorWindowTest : public FormTest {
    Q_OBJECT

    std::unique_ptr<SimulatedDevice> device_;
    std::unique_ptr<SimulatorWindow> simulator_;

    template <typename T = QCheckBox>
    T* sim(const char* name) {
        return control<T>(*simulator_, QLatin1String(name));
    }
    std::size_t informations() const { return sink_.texts(FakeSink::Kind::Information).size(); }

private slots:
    void init() {
        sink_ = FakeSink();
        device_ = std::make_unique<SimulatedDevice>();
        connectTo(*device_);
        simulator_ = std::make_unique<SimulatorWindow>(*device_);
        simulator_->placeBeside(*form_);
        simulator_->show();
    }
    void cleanup() {
        simulator_.reset();
        form_.reset();
        device_.reset();
    }

    void holdingAPadKeyLightsItsLegendDuringTheKeypadTest() {
        QPushButton* pad = simulator_->padButton(keyNamed('5').keyNumber);
        QCOMPARE(pad->text(), QStringLiteral("5"));
        click(*form_, "TestkeypadButton");
        QTest::mousePress(pad, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(onlyLit(*form_, keyNamed('5').legendIndex), 5000);
        QTest::mouseRelease(pad, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(onlyLit(*form_, -1), 5000);
        QVERIFY(sink_.errors().empty());
    }

    // Latched, a clicked key stays down until clicked again or another key is clicked.
    void latchedKeysStayDownUntilClickedAgain() {
        sim("SimLatch")->setChecked(true);
        QPushButton* d = simulator_->padButton(keyNamed('D').keyNumber);
        QPushButton* one = simulator_->padButton(keyNamed('1').keyNumber);
        QTest::mouseClick(d, Qt::LeftButton);
        click(*form_, "TestkeypadButton");
        QTRY_VERIFY_WITH_TIMEOUT(onlyLit(*form_, keyNamed('D').legendIndex), 5000);
        QTest::mouseClick(one, Qt::LeftButton);
        QVERIFY(!d->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(onlyLit(*form_, keyNamed('1').legendIndex), 5000);
        QTest::mouseClick(one, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(onlyLit(*form_, -1), 5000);
    }

    void unplugAndProgramModeReachTheUser() {
        click(*form_, "ReadButton");
        QTRY_COMPARE_WITH_TIMEOUT(informations(), std::size_t(1), 5000);
        sim("SimPlugged")->setChecked(false);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->link().deviceOpen(), 5000);
        click(*form_, "ReadButton");
        QCOMPARE(sink_.errors(), std::vector<std::u16string>{kCannotFindText});

        sim("SimPlugged")->setChecked(true);
        sim("SimProgramMode")->setChecked(true);
        click(*form_, "WriteButton");
        QCOMPARE(sink_.errors(), (std::vector<std::u16string>{kCannotFindText, kProgramModeText}));
        // Back to the application: the program-mode connection is lost when the device re-enumerates.
        sim("SimProgramMode")->setChecked(false);
        QTRY_VERIFY_WITH_TIMEOUT(!form_->link().deviceOpen(), 5000);
        click(*form_, "WriteButton");
        QTRY_COMPARE_WITH_TIMEOUT(informations(), std::size_t(2), 10000);
        QCOMPARE(sink_.errors().size(), std::size_t(2));
    }

    void droppedAnswerTimesOut() {
        QTest::mouseClick(sim<QPushButton>("SimDropAnswer"), Qt::LeftButton);
        click(*form_, "ReadButton");
        QTRY_COMPARE_WITH_TIMEOUT(sink_.errors(), std::vector<std::u16string>{kCannotCommunicateText}, 5000);
        QVERIFY(control(*form_, QStringLiteral("ReadButton"))->isEnabled());
    }

    // 1.5 s is longer than the 1 s the tool waits for an answer; the late answers still finish the read.
    void answerDelayIsTheDevices() {
        sim<QSpinBox>("SimAnswerDelay")->setValue(1500);
        click(*form_, "ReadButton");
        QTRY_COMPARE_WITH_TIMEOUT(sink_.errors().size(), std::size_t(1), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(informations(), std::size_t(1), 10000);
    }
};

QB_APP_TEST(SimulatorWindowTest)
#include "SimulatorWindowTest.moc"
