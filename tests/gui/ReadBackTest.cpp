// What a read brings back, shown beside the window and taken over into it; the choices that are remembered.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>

#include "AppTestSupport.h"

#include "config/MemoryConfigView.h"
#include "gui/ReadBackWindow.h"
#include "protocol/DeviceImage.h"

class ReadBackTest : public FormTest {
    Q_OBJECT

    SimulatedDevice device_;

    void fillDevice() { HoldFastAndHiOnKey5(device_); }
    ReadBackWindow* readAll() {
        control<QCheckBox>(*form_, "ReadMessagesCheckBox")->setChecked(true);
        click(*form_, "ReadButton");
        (void)QTest::qWaitFor([&] { return form_->findChild<ReadBackWindow*>() != nullptr; });
        auto* window = form_->findChild<ReadBackWindow*>();
        if (!window) qFatal("no read result shown");
        return window;
    }
    QStringList row(ReadBackWindow* window, const QString& name) {
        auto* table = control<QTableWidget>(*window, "ReadBackTable");
        for (int r = 0; r < table->rowCount(); ++r)
            if (table->item(r, 0)->text().endsWith(name))
                return {table->item(r, 0)->text(), table->item(r, 1)->text(), table->item(r, 2)->text()};
        return {};
    }

private slots:
    void init() {
        sink_ = FakeSink();
        chooser_ = ScriptedChooser();
        connectTo(device_);
        fillDevice();
    }

    // Differences are marked; the take-over button brings the device's values into the window (after the close
    // question where the window holds unsaved edits: presenter tests).
    void theDevicesValuesAreShownAndTakenOver() {
        retype(legend('A'), QStringLiteral("z"));
        sink_.answers = {Answer::No};
        ReadBackWindow* window = readAll();
        QCOMPARE(row(window, "Baud rate"), (QStringList{"\u2260 Baud rate", "19200", "57600"}));
        QCOMPARE(row(window, "Message 5"), (QStringList{"\u2260 Message 5", "5", "Hi\\0D"}));
        QCOMPARE(row(window, "Message 6"), (QStringList{"Message 6", "6", "6"}));
        QVERIFY(row(window, "Legends").value(0).startsWith(QStringLiteral("\u2260")));
        // At its first size every row shows: nothing to scroll to.
        QTRY_VERIFY(window->isVisible());
        QCOMPARE(control<QTableWidget>(*window, "ReadBackTable")->verticalScrollBar()->maximum(), 0);

        click(*window, "TakeOverButton");
        QCOMPARE(sink_.questions().size(), std::size_t(1));
        QCOMPARE(control<QComboBox>(*form_, "BaudRateComboBox")->currentText(), QStringLiteral("57600"));
        QCOMPARE(message('5')->text(), QStringLiteral("Hi\\0D"));
        QVERIFY(!window->isVisible());
    }

    // Nothing differs: nothing to take over.
    void nothingDiffersNothingToTakeOver() {
        ConfigStore held;
        MemoryConfigView view;
        held.SetDefaultConfig(view);
        QVERIFY(held.TranslateMessages(sink_));
        const DeviceImage image = WrittenImage(held.Config.Settings, held.DeviceMessages);
        for (std::size_t n = 0; n < kBlockCount; ++n) device_.setBlock(n, image.blocks[n]);
        ReadBackWindow* window = readAll();
        QVERIFY(!control<QPushButton>(*window, "TakeOverButton")->isEnabled());
        retype(legend('A'), QStringLiteral("z"));
        window = readAll();
        QTRY_VERIFY(control<QPushButton>(*window, "TakeOverButton")->isEnabled());
    }

    // Firmware that serves only the settings block: its answers are not shown as messages.
    void messagesThatCannotBeMessagesAreNotShown() {
        device_.setServesMessageBlocks(false);
        ReadBackWindow* window = readAll();
        QVERIFY(row(window, "Message 5").isEmpty());
        QVERIFY(control<QLabel>(*window, "MessagesNote")->text().contains(QStringLiteral("cannot be shown")));
        QCOMPARE(row(window, "Baud rate").value(2), QStringLiteral("57600"));
        // The choice is remembered for the next window.
        connectTo(device_);
        QVERIFY(control<QCheckBox>(*form_, "ReadMessagesCheckBox")->isChecked());
        control<QCheckBox>(*form_, "ReadMessagesCheckBox")->setChecked(false);
    }
};

QB_APP_TEST(ReadBackTest)
#include "ReadBackTest.moc"
