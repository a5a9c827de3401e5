// Editing in the window: legend mirroring, the transfer through the real controls, the lit key, the message
// boxes, and the device buttons driven through the window against a simulated device.
#include "AppTestSupport.h"
#include "config/ConfigTransfer.h"

class MainFormEditingTest : public FormTest {
    Q_OBJECT

private slots:
    // Each legend typed shows as its own key's message label and nowhere else; the message stays.
    void typedLegendsMirrorIntoTheirLabels() {
        for (const KeyInfo& key : kKeys) retype(legend(key.legend), QString(QChar(u'a' + key.legendIndex)));
        for (const KeyInfo& key : kKeys) {
            QCOMPARE(label(key.legend), QString(QChar(u'a' + key.legendIndex)));
            QCOMPARE(message(key.legend)->text(), QString(QLatin1Char(key.legend)));
        }
        // Typing changes nothing in the record: that waits for the next pack.
        QCOMPARE(form_->store().Config.Settings[kLegendsOffset + keyNamed('5').legendIndex], std::uint8_t('5'));
        retype(legend('5'), QString());
        QCOMPARE(label('5'), QString());
        form_->setLegendText(keyNamed('#').legendIndex, u"\u00e9");
        QCOMPARE(label('#'), QStringLiteral("\u00e9"));
    }

    // A record shows in the controls and packs back as it was.
    void controlsShowAndPackTheRecord() {
        KeypadConfig config = form_->store().Config;
        config.Settings[kColumnLinesOffset + 2] = 7;
        config.Settings[kRowLinesOffset + 0] = 2;
        config.Settings[kBaudCodeOffset] = 6;
        config.Settings[kParityCodeOffset] = 2;
        config.Settings[kStopBitsOffset] = 2;
        const char text[] = "A\\0D\\0A";
        std::copy(std::begin(text), std::end(text), config.Messages.begin() + keyNamed('B').slot * kSlotSize);
        UnpackConfig(config, *form_);
        QCOMPARE(spin(QStringLiteral("CSpinEdit3"))->value(), 7);
        QCOMPARE(control<QComboBox>(*form_, QStringLiteral("BaudRateComboBox"))->currentText(),
                 QStringLiteral("57600"));
        QVERIFY(control<QRadioButton>(*form_, QStringLiteral("OddParityRadioButton"))->isChecked());
        QVERIFY(control<QRadioButton>(*form_, QStringLiteral("StopBitRadioButton2"))->isChecked());
        QCOMPARE(message('B')->text(), QStringLiteral("A\\0D\\0A"));
        KeypadConfig repacked;
        PackConfig(*form_, repacked);
        QCOMPARE(repacked.Settings, config.Settings);
        QCOMPARE(SlotText(repacked.Messages.data() + keyNamed('B').slot * kSlotSize), std::string_view(text));
    }

    void showKeyLightsOneLegendOnly() {
        for (char key : {'5', 'D'}) {
            form_->showKey(keyNamed(key).legendIndex);
            QVERIFY(onlyLit(*form_, keyNamed(key).legendIndex));
        }
        QCOMPARE(legend('5')->text(), QStringLiteral("5"));
        form_->showKey(-1);
        QVERIFY(onlyLit(*form_, -1));
    }

    // The real boxes: line breaks as lines, no title, the buttons and icon of their kind.
    void messageBoxes_data() {
        QTest::addColumn<char>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shownText");
        QTest::addColumn<int>("press");  // a QMessageBox::StandardButton, or 0 for Esc
        QTest::addColumn<int>("answer");
        const QString question = QStringLiteral("Data has changed\r\nSave now?");
        const QString asked = QStringLiteral("Data has changed\nSave now?");
        QTest::newRow("error") << 'E' << QStringLiteral("Error on Message:\rabc\\")
                               << QStringLiteral("Error on Message:\nabc\\") << int(QMessageBox::Ok) << 0;
        QTest::newRow("information") << 'I' << QStringLiteral("a\r\r\nb") << QStringLiteral("a\n\nb")
                                     << int(QMessageBox::Ok) << 0;
        QTest::newRow("Yes") << 'Q' << question << asked << int(QMessageBox::Yes) << int(Answer::Yes);
        QTest::newRow("No") << 'Q' << question << asked << int(QMessageBox::No) << int(Answer::No);
        QTest::newRow("Cancel") << 'Q' << question << asked << int(QMessageBox::Cancel) << int(Answer::Cancel);
        // Dismissing the question keeps the changes: it counts as Cancel, never as No.
        QTest::newRow("Esc") << 'Q' << question << asked << 0 << int(Answer::Cancel);
    }
    void messageBoxes() {
        QFETCH(char, kind);
        QFETCH(QString, text);
        QFETCH(QString, shownText);
        QFETCH(int, press);
        QFETCH(int, answer);
        form_->setUserSink(nullptr);
        QString shown, title = QStringLiteral("unseen");
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        onNextModalBox([&](QMessageBox* box) {
            std::tie(shown, title, icon, buttons) =
                std::tuple(box->text(), box->windowTitle(), box->icon(), box->standardButtons());
            if (press == 0)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(QMessageBox::StandardButton(press))->click();
        });
        const std::u16string said = text.toStdU16String();
        if (kind == 'E') form_->showError(said);
        if (kind == 'I') form_->showInformation(said);
        if (kind == 'Q') QCOMPARE(int(form_->askYesNoCancel(said)), answer);
        QCOMPARE(shown, shownText);
        QCOMPARE(title, QString());
        QCOMPARE(icon, kind == 'E'   ? QMessageBox::Critical
                       : kind == 'I' ? QMessageBox::Information
                                     : QMessageBox::Question);
        QCOMPARE(buttons, kind == 'Q' ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel
                                      : QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    // ---- The device buttons, through the window ----

    void writeDownloadsTheWindowIntoTheDevice() {
        SimulatedDevice device;
        device.setSerial(12345);
        device.setVersion("1.2");
        connectTo(device);
        form_->addLogLine(u"old");
        spin(QStringLiteral("CSpinEdit1"))->setValue(8);
        retype(message('1'), QStringLiteral("HI\\0D"));
        click(*form_, "WriteButton");
        // Busy until the device has answered: the device buttons are off, the file buttons not.
        const auto on = [this](const char* button) { return control(*form_, QLatin1String(button))->isEnabled(); };
        QVERIFY(!on("WriteButton") && !on("ReadButton") && !on("TestkeypadButton") && on("LoadButton"));
        QTRY_COMPARE_WITH_TIMEOUT(sink_.texts(FakeSink::Kind::Information).size(), std::size_t(1), 10000);
        QVERIFY(sink_.texts(FakeSink::Kind::Information).front() == kDownloadCompleteText);
        QVERIFY(sink_.errors().empty());
        QVERIFY(on("WriteButton") && on("ReadButton") && on("TestkeypadButton"));
        QCOMPARE(control<QPlainTextEdit>(*form_, QStringLiteral("LogMemo"))->toPlainText(),
                 QStringLiteral("Appware Version:1.2\nSerial Number: 12345"));

        QCOMPARE(device.block(0)[1 + kColumnLinesOffset], std::uint8_t(8));
        const SimulatedDevice::Block key1 = device.block(1 + keyNamed('1').slot);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(key1.data()), 4), QByteArray("HI\r\0", 4));
        form_.reset();
    }

    void keypadTestLightsTheKeyTheDeviceReports() {
        SimulatedDevice device;
        connectTo(device);
        auto* test = control(*form_, QStringLiteral("TestkeypadButton"));
        device.setKeyDown(keyNamed('5').keyNumber);
        QTest::mouseClick(test, Qt::LeftButton);
        QCOMPARE(test->text(), QStringLiteral("Stop Test"));
        QTRY_VERIFY_WITH_TIMEOUT(onlyLit(*form_, keyNamed('5').legendIndex), 5000);
        device.setKeyDown(0);  // released
        QTRY_VERIFY_WITH_TIMEOUT(onlyLit(*form_, -1), 5000);
        QTest::mouseClick(test, Qt::LeftButton);
        QCOMPARE(test->text(), QStringLiteral("Test Keypad"));
        QVERIFY(sink_.errors().empty());
        form_.reset();
    }
};

QB_APP_TEST(MainFormEditingTest)
#include "MainFormEditingTest.moc"
