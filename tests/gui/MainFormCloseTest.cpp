// Closing the window with and without unsaved changes, and the Load File / Save File buttons.
#include <QRadioButton>

#include "AppTestSupport.h"
#include "config/DataFile.h"

class MainFormCloseTest : public FormTest {
    Q_OBJECT

private slots:
    // A save that did not happen must not lose the changes.
    void unsavedChangesOnClose_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("saveAs");  // what the save dialog gives; empty: it is cancelled
        QTest::addColumn<bool>("closes");
        QTest::newRow("Cancel keeps") << int(Answer::Cancel) << QString() << false;
        QTest::newRow("No closes") << int(Answer::No) << QString() << true;
        QTest::newRow("Yes, cancelled save keeps") << int(Answer::Yes) << QString() << false;
        QTest::newRow("Yes, failed save keeps") << int(Answer::Yes) << QStringLiteral("no such folder/x.dat") << false;
        QTest::newRow("Yes, saved closes") << int(Answer::Yes) << QStringLiteral("closing.dat") << true;
    }
    void unsavedChangesOnClose() {
        QFETCH(int, answer);
        QFETCH(QString, saveAs);
        QFETCH(bool, closes);
        retype(message('7'), QStringLiteral("SEVEN"));
        sink_.answers = {Answer(answer)};
        if (!saveAs.isEmpty()) chooser_.save = file(qPrintable(saveAs));
        QCOMPARE(form_->close(), closes);
        QCOMPARE(sink_.questions(), std::vector<std::u16string>{kDataChangedText});
        QCOMPARE(chooser_.saveCalls, answer == int(Answer::Yes) ? 1 : 0);
        if (!closes) QCOMPARE(message('7')->text(), QStringLiteral("SEVEN"));
        if (closes && !saveAs.isEmpty()) QCOMPARE(std::filesystem::file_size(file("closing.dat")), kDataFileSize);
    }

    // A file loads into the controls, also one named on the command line, replacing edits without asking, and
    // saves back as it was.
    void loadAndSave() {
        KeypadConfig config = form_->store().Config;
        config.Settings[kColumnLinesOffset + 2] = 7;
        config.Settings[kLegendsOffset + keyNamed('5').legendIndex] = 'f';
        config.Settings[kBaudCodeOffset] = 6;
        config.Settings[kParityCodeOffset] = 2;
        config.Settings[kStopBitsOffset] = 2;
        const char text[] = "FIVE\\0A";
        std::copy(std::begin(text), std::end(text), config.Messages.begin() + keyNamed('5').slot * kSlotSize);
        const std::vector<std::uint8_t> bytes = EncodeDataFile(config);
        QVERIFY(DiskFileAccess().write(file("named \u00e9.dat"), bytes));

#ifndef Q_OS_WIN
        // A name that is no UTF-8 (Latin-1 "café.dat"), as the command line hands it over byte for byte.
        const std::filesystem::path latin1 = folder_.path().toStdString() + "/caf\xe9.dat";
        QVERIFY(DiskFileAccess().write(latin1, bytes));
        QVERIFY(form_->LoadFile(latin1));
        QCOMPARE(message('5')->text(), QStringLiteral("FIVE\\0A"));
#endif
        retype(message('5'), QStringLiteral("lost"));
        QVERIFY(form_->LoadFile(ToPath(folder_.path() + QStringLiteral("/named \u00e9.dat"))));
        QCOMPARE(message('5')->text(), QStringLiteral("FIVE\\0A"));
        QCOMPARE(label('5'), QStringLiteral("f"));
        QCOMPARE(spin("CSpinEdit3")->value(), 7);
        QCOMPARE(control<QComboBox>(*form_, "BaudRateComboBox")->currentText(), QStringLiteral("57600"));
        QVERIFY(control<QRadioButton>(*form_, "OddParityRadioButton")->isChecked());
        QVERIFY(control<QRadioButton>(*form_, "StopBitRadioButton2")->isChecked());

        chooser_.save = file("out.dat");
        click(*form_, "SaveButton");
        QVERIFY(DiskFileAccess().read(file("out.dat"), 2 * kDataFileSize) == bytes);
        retype(message('5'), QStringLiteral("lost"));
        chooser_.open = file("out.dat");
        click(*form_, "LoadButton");
        QCOMPARE(message('5')->text(), QStringLiteral("FIVE\\0A"));
        QVERIFY(form_->close());
        QVERIFY(sink_.shown.empty());
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
