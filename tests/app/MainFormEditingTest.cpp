// Editing in the window: legend mirroring, the transfer through the real controls, the lit key, the message
// boxes, and the device buttons driven through the window against a simulated device.
#include <memory>

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "AppTestSupport.h"
#include "FakeSink.h"
#include "config/ConfigTransfer.h"
#include "device/SimulatedDevice.h"
#include "protocol/Operations.h"

using namespace qb;
using namespace qb::test;

namespace {

const QColor kLime(0, 255, 0);

QColor baseOf(const QWidget* w) {
    return w->palette().color(QPalette::Base);
}

QColor windowColourOf(const QWidget* w) {
    return QApplication::palette(w).color(QPalette::Active, QPalette::Base);
}

// Runs `inspect` on the modal box that the next call opens; `inspect` must close it.
void onNextModalBox(std::function<void(QMessageBox*)> inspect) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, inspect] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        timer->stop();
        timer->deleteLater();
        inspect(box);
    });
    timer->start();
}

}  // namespace

class MainFormEditingTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir noHelpFolder_;
    NoDeviceTransport noDevice_;
    FakeSink sink_;
    std::unique_ptr<TMainForm> form_;

    std::unique_ptr<TMainForm> makeForm(Transport& transport) {
        auto form = std::make_unique<TMainForm>(transport, noHelpFolder_.path());
        form->setUserSink(&sink_);
        form->show();
        return form;
    }
    QLabel* labelOf(const KeyInfo& key) {
        return control<QLabel>(*form_, QStringLiteral("OutStringLabel") + keySuffix(key));
    }

private slots:
    void init() {
        sink_ = FakeSink();
        form_ = makeForm(noDevice_);
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    void cleanup() { form_.reset(); }

    // ---- Legend mirroring ----

    void typedLegendShowsAsItsMessageLabel() {
        const KeyInfo& five = keyNamed('5');
        retype(legendEdit(*form_, five), QStringLiteral("X"));
        QCOMPARE(labelOf(five)->text(), QStringLiteral("X"));
        QCOMPARE(messageEdit(*form_, five)->text(), QStringLiteral("5"));
        // Typing changes nothing in the record: that waits for the next pack.
        QCOMPARE(form_->store().Config.Settings[kLegendsOffset + five.legendIndex], std::uint8_t('5'));

        retype(legendEdit(*form_, five), QString());
        QCOMPARE(legendEdit(*form_, five)->text(), QString());
        QCOMPARE(labelOf(five)->text(), QString());
    }

    // Each legend drives its own label and no other.
    void everyLegendDrivesOnlyItsOwnLabel() {
        for (const KeyInfo& key : kKeys) {
            const QString typed = QString(QChar(u'a' + key.legendIndex));
            retype(legendEdit(*form_, key), typed);
            for (const KeyInfo& other : kKeys) {
                const QString expected = other.legendIndex <= key.legendIndex ? QString(QChar(u'a' + other.legendIndex))
                                                                              : QString(QLatin1Char(other.legend));
                QCOMPARE(labelOf(other)->text(), expected);
            }
        }
    }

    void legendSetByTheProgramIsMirrored() {
        const KeyInfo& hash = keyNamed('#');
        form_->setLegendText(hash.legendIndex, u"\u00e9");
        QCOMPARE(labelOf(hash)->text(), QStringLiteral("\u00e9"));

        // A loaded record with no legend (byte 0) shows an empty edit and an empty label.
        KeypadConfig config = form_->store().Config;
        config.Settings[kLegendsOffset + hash.legendIndex] = 0;
        config.Settings[kLegendsOffset + keyNamed('1').legendIndex] = 'Z';
        UnpackConfig(config, *form_);
        QCOMPARE(legendEdit(*form_, hash)->text(), QString());
        QCOMPARE(labelOf(hash)->text(), QString());
        QCOMPARE(labelOf(keyNamed('1'))->text(), QStringLiteral("Z"));
    }

    // ---- The transfer through the real controls ----

    void defaultWindowPacksToTheDefaultRecord() {
        KeypadConfig packed;
        PackConfig(*form_, packed);
        QCOMPARE(packed.Settings, kDefaultSettings);
        for (const KeyInfo& key : kKeys) {
            QCOMPARE(SlotText(packed.Messages.data() + key.slot * kSlotSize), std::string_view(&key.legend, 1));
        }
        QVERIFY(!form_->store().ConfigChanged());
    }

    void controlsShowWhatTheRecordHolds() {
        KeypadConfig config = form_->store().Config;
        config.Settings[kColumnLinesOffset + 2] = 7;
        config.Settings[kRowLinesOffset + 0] = 2;
        config.Settings[kBaudCodeOffset] = 6;
        config.Settings[kParityCodeOffset] = 2;
        config.Settings[kStopBitsOffset] = 2;
        const char message[] = "A\\0D\\0A";
        std::copy(std::begin(message), std::end(message), config.Messages.begin() + keyNamed('B').slot * kSlotSize);
        UnpackConfig(config, *form_);

        QCOMPARE(control<QSpinBox>(*form_, QStringLiteral("CSpinEdit3"))->value(), 7);
        QCOMPARE(control<QSpinBox>(*form_, QStringLiteral("RowCSpinEdit1"))->value(), 2);
        QCOMPARE(control<QComboBox>(*form_, QStringLiteral("BaudRateComboBox"))->currentText(),
                 QStringLiteral("57600"));
        QVERIFY(control<QRadioButton>(*form_, QStringLiteral("OddParityRadioButton"))->isChecked());
        QVERIFY(!control<QRadioButton>(*form_, QStringLiteral("NoParityRadioButton"))->isChecked());
        QVERIFY(control<QRadioButton>(*form_, QStringLiteral("StopBitRadioButton2"))->isChecked());
        QVERIFY(!control<QRadioButton>(*form_, QStringLiteral("StopBitRadioButton1"))->isChecked());
        QCOMPARE(messageEdit(*form_, keyNamed('B'))->text(), QStringLiteral("A\\0D\\0A"));

        KeypadConfig repacked = config;
        PackConfig(*form_, repacked);
        QCOMPARE(repacked.Settings, config.Settings);
        QCOMPARE(SlotText(repacked.Messages.data() + keyNamed('B').slot * kSlotSize), std::string_view("A\\0D\\0A"));
    }

    void baudCodeOutsideTheListSelectsNothing() {
        auto* baud = control<QComboBox>(*form_, QStringLiteral("BaudRateComboBox"));
        form_->setBaudIndex(7);
        QCOMPARE(baud->currentIndex(), -1);
        QCOMPARE(form_->baudIndex(), -1);
        KeypadConfig packed;
        PackConfig(*form_, packed);
        QCOMPARE(packed.Settings[kBaudCodeOffset], std::uint8_t(255));
        form_->setBaudIndex(0);
        QCOMPARE(baud->currentText(), QStringLiteral("1200"));
        form_->setBaudIndex(-1);
        QCOMPARE(baud->currentIndex(), -1);
    }

    void lineValueOutsideOneToEightIsHeldWithinIt() {
        form_->setColumnLine(0, 0);
        QCOMPARE(form_->columnLine(0), 1);
        form_->setRowLine(3, 200);
        QCOMPARE(form_->rowLine(3), 8);
    }

    // ---- The lit key ----

    void showKeyLightsOneLegendOnly() {
        const KeyInfo& five = keyNamed('5');
        form_->showKey(five.legendIndex);
        for (const KeyInfo& key : kKeys) {
            QLineEdit* edit = legendEdit(*form_, key);
            if (key.legendIndex == five.legendIndex)
                QCOMPARE(baseOf(edit), kLime);
            else
                QCOMPARE(baseOf(edit), windowColourOf(edit));
        }
        QCOMPARE(legendEdit(*form_, five)->text(), QStringLiteral("5"));

        const KeyInfo& d = keyNamed('D');
        form_->showKey(d.legendIndex);
        QCOMPARE(baseOf(legendEdit(*form_, d)), kLime);
        QCOMPARE(baseOf(legendEdit(*form_, five)), windowColourOf(legendEdit(*form_, five)));

        form_->showKey(-1);
        for (const KeyInfo& key : kKeys)
            QCOMPARE(baseOf(legendEdit(*form_, key)), windowColourOf(legendEdit(*form_, key)));
    }

    void logAndTestCaption() {
        auto* memo = control<QPlainTextEdit>(*form_, QStringLiteral("LogMemo"));
        form_->addLogLine(u"old");
        form_->clearLog();
        form_->addLogLine(u"Appware Version:1.2");
        form_->addLogLine(u"Serial Number: 12345");
        QCOMPARE(memo->toPlainText(), QStringLiteral("Appware Version:1.2\nSerial Number: 12345"));

        form_->setTestButtonCaption(kStopTestCaption);
        QCOMPARE(control<QPushButton>(*form_, QStringLiteral("TestkeypadButton"))->text(), QStringLiteral("Stop Test"));
        QVERIFY(form_->testButtonCaption() == kStopTestCaption);
    }

    // ---- The real message boxes ----

    void lineBreaksShowAsLines() {
        QCOMPARE(DisplayText(u"Data has changed\nSave now?"), QStringLiteral("Data has changed\nSave now?"));
        QCOMPARE(DisplayText(u"The file uses a later data format.\r\nCannot load"),
                 QStringLiteral("The file uses a later data format.\nCannot load"));
        QCOMPARE(DisplayText(u"Error on Message:\r\\G1"), QStringLiteral("Error on Message:\n\\G1"));
        QCOMPARE(DisplayText(u"a\r\r\nb"), QStringLiteral("a\n\nb"));
    }

    void errorBoxHasErrorIconOneButtonAndNoTitle() {
        form_->setUserSink(nullptr);
        bool seen = false;
        onNextModalBox([&seen](QMessageBox* box) {
            seen = true;
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->text(), QStringLiteral("Error on Message:\nabc\\"));
            QCOMPARE(box->windowTitle(), QString());
            QCOMPARE(box->buttons().size(), 1);
            QCOMPARE(box->standardButton(box->buttons().first()), QMessageBox::Ok);
            box->buttons().first()->click();
        });
        form_->showError(u"Error on Message:\rabc\\");
        QVERIFY(seen);
    }

    void informationBoxHasInformationIcon() {
        form_->setUserSink(nullptr);
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        onNextModalBox([&icon](QMessageBox* box) {
            icon = box->icon();
            box->buttons().first()->click();
        });
        form_->showInformation(kDownloadCompleteText);
        QCOMPARE(icon, QMessageBox::Information);
    }

    void questionAnswers_data() {
        QTest::addColumn<int>("press");  // a QMessageBox::StandardButton, or 0 for Esc
        QTest::addColumn<int>("answer");
        QTest::newRow("Yes") << int(QMessageBox::Yes) << int(Answer::Yes);
        QTest::newRow("No") << int(QMessageBox::No) << int(Answer::No);
        QTest::newRow("Cancel") << int(QMessageBox::Cancel) << int(Answer::Cancel);
        // Dismissing the question keeps the changes: it counts as Cancel, never as No.
        QTest::newRow("Esc") << 0 << int(Answer::Cancel);
    }
    void questionAnswers() {
        QFETCH(int, press);
        QFETCH(int, answer);
        form_->setUserSink(nullptr);
        QStringList buttons;
        QString text;
        onNextModalBox([&, press](QMessageBox* box) {
            text = box->text();
            for (QAbstractButton* b : box->buttons()) buttons << b->text().remove(QLatin1Char('&'));
            QCOMPARE(box->icon(), QMessageBox::Question);
            if (press == 0)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(QMessageBox::StandardButton(press))->click();
        });
        QCOMPARE(int(form_->askYesNoCancel(kDataChangedText)), answer);
        QCOMPARE(text, QStringLiteral("Data has changed\nSave now?"));
        buttons.sort();
        QCOMPARE(buttons, (QStringList{"Cancel", "No", "Yes"}));
    }

    // ---- The device buttons, through the window ----

    void writeWithoutDeviceSaysSo() {
        QTest::mouseClick(control<QPushButton>(*form_, QStringLiteral("WriteButton")), Qt::LeftButton);
        QCOMPARE(sink_.errors(), std::vector<std::u16string>{kCannotFindText});
        QVERIFY(noDevice_.enumerations > 0);
    }

    void badEscapeStopsTheWriteBeforeTheDevice() {
        SimulatedDevice device;
        form_ = makeForm(device);
        retype(messageEdit(*form_, keyNamed('5')), QStringLiteral("\\G1"));
        QTest::mouseClick(control<QPushButton>(*form_, QStringLiteral("WriteButton")), Qt::LeftButton);
        QCOMPARE(sink_.errors(), std::vector<std::u16string>{u"Error on Message:\r\\G1"});
        QTest::qWait(100);
        QCOMPARE(device.receivedCount(), std::size_t(0));
        form_.reset();
    }

    void writeDownloadsTheWindowIntoTheDevice() {
        SimulatedDevice device;
        device.setSerial(12345);
        device.setVersion("1.2");
        form_ = makeForm(device);
        control<QSpinBox>(*form_, QStringLiteral("CSpinEdit1"))->setValue(8);
        retype(messageEdit(*form_, keyNamed('1')), QStringLiteral("HI\\0D"));
        auto* write = control<QPushButton>(*form_, QStringLiteral("WriteButton"));
        QTest::mouseClick(write, Qt::LeftButton);
        QVERIFY(!write->isEnabled());  // busy until the device has answered
        QTRY_COMPARE_WITH_TIMEOUT(sink_.texts(FakeSink::Kind::Information).size(), std::size_t(1), 10000);
        QVERIFY(sink_.texts(FakeSink::Kind::Information).front() == kDownloadCompleteText);
        QVERIFY(sink_.errors().empty());
        QVERIFY(write->isEnabled());
        QCOMPARE(control<QPlainTextEdit>(*form_, QStringLiteral("LogMemo"))->toPlainText(),
                 QStringLiteral("Appware Version:1.2\nSerial Number: 12345"));

        const SimulatedDevice::Block settings = device.block(0);
        QCOMPARE(settings[1 + kColumnLinesOffset], std::uint8_t(8));
        QCOMPARE(settings[1 + kBaudCodeOffset], std::uint8_t(4));
        const SimulatedDevice::Block key1 = device.block(1 + keyNamed('1').slot);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(key1.data()), 4), QByteArray("HI\r\0", 4));
        // The device holding it does not make it saved.
        PackConfig(*form_, form_->store().Config);
        QVERIFY(form_->store().ConfigChanged());
        form_.reset();
    }

    void keypadTestLightsTheKeyTheDeviceReports() {
        SimulatedDevice device;
        form_ = makeForm(device);
        auto* test = control<QPushButton>(*form_, QStringLiteral("TestkeypadButton"));
        const KeyInfo& five = keyNamed('5');
        device.setKeyDown(five.keyNumber);
        QTest::mouseClick(test, Qt::LeftButton);
        QCOMPARE(test->text(), QStringLiteral("Stop Test"));
        QTRY_COMPARE_WITH_TIMEOUT(baseOf(legendEdit(*form_, five)), kLime, 5000);
        for (const KeyInfo& key : kKeys)
            if (key.legendIndex != five.legendIndex)
                QCOMPARE(baseOf(legendEdit(*form_, key)), windowColourOf(legendEdit(*form_, key)));

        device.setKeyDown(0);  // released
        QTRY_COMPARE_WITH_TIMEOUT(baseOf(legendEdit(*form_, five)), windowColourOf(legendEdit(*form_, five)), 5000);

        QTest::mouseClick(test, Qt::LeftButton);
        QCOMPARE(test->text(), QStringLiteral("Test Keypad"));
        QVERIFY(sink_.errors().empty());
        form_.reset();
    }
};

QTEST_MAIN(MainFormEditingTest)
#include "MainFormEditingTest.moc"
