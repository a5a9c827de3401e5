// Closing the window with and without unsaved changes, and the Load File / Save File buttons.
#include <fstream>

#include "AppTestSupport.h"

class MainFormCloseTest : public FormTest {
    Q_OBJECT

    std::filesystem::path file(const QString& name) const { return (folder_.path() + '/' + name).toStdString(); }

private slots:
    void startAndCloseAtOnceAsksNothing() {
        QVERIFY(form_->close());
        QVERIFY(!form_->isVisible());
        QVERIFY(sink_.shown.empty());
    }

    void changedAndChangedBackAsksNothing() {
        retype(message('5'), QStringLiteral("HELLO"));
        retype(legend('A'), QStringLiteral("x"));
        QTest::keyClick(spin("RowCSpinEdit2"), Qt::Key_Down);
        retype(message('5'), QStringLiteral("5"));
        retype(legend('A'), QStringLiteral("A"));
        QTest::keyClick(spin("RowCSpinEdit2"), Qt::Key_Up);
        click(*form_, "ExitButton");
        QVERIFY(!form_->isVisible());
        QVERIFY(sink_.shown.empty());
    }

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
        retype(message('7'), QStringLiteral("SEVEN\\0D"));
        sink_.answers = {Answer(answer)};
        if (!saveAs.isEmpty()) chooser_.saves = {file(saveAs)};
        QCOMPARE(form_->close(), closes);
        QCOMPARE(form_->isVisible(), !closes);
        QCOMPARE(sink_.questions(), std::vector<std::u16string>{kDataChangedText});
        QCOMPARE(chooser_.saveCalls, answer == int(Answer::Yes) ? 1 : 0);
        const bool failed = saveAs.startsWith(QLatin1String("no such"));
        QCOMPARE(sink_.errors(),
                 failed ? std::vector<std::u16string>{kErrorSavingText} : std::vector<std::u16string>{});
        if (!closes) QCOMPARE(message('7')->text(), QStringLiteral("SEVEN\\0D"));
        if (closes && !saveAs.isEmpty()) QCOMPARE(std::filesystem::file_size(file(saveAs)), kDataFileSize);
    }

    void loadShowsWhatWasSavedAndCountsAsUnchanged() {
        retype(message('5'), QStringLiteral("FIVE\\0A"));
        retype(legend('5'), QStringLiteral("f"));
        spin("CSpinEdit2")->setValue(7);
        chooser_.saves = {file(QStringLiteral("kept"))};  // no extension typed
        click(*form_, "SaveButton");
        QVERIFY(std::filesystem::exists(file(QStringLiteral("kept"))));

        // Edits after the save, then the load brings the saved state back without asking.
        retype(message('5'), QStringLiteral("lost"));
        retype(legend('5'), QStringLiteral("g"));
        spin("CSpinEdit2")->setValue(3);
        chooser_.opens = {file(QStringLiteral("kept"))};
        click(*form_, "LoadButton");
        QCOMPARE(message('5')->text(), QStringLiteral("FIVE\\0A"));
        QCOMPARE(legend('5')->text(), QStringLiteral("f"));
        QCOMPARE(label('5'), QStringLiteral("f"));
        QCOMPARE(spin("CSpinEdit2")->value(), 7);
        QVERIFY(form_->close());
        QVERIFY(sink_.shown.empty());
    }

    void loadThatFailsChangesNothing() {
        retype(message('2'), QStringLiteral("mine"));
        click(*form_, "LoadButton");  // cancelled
        QCOMPARE(chooser_.openCalls, 1);
        QVERIFY(sink_.shown.empty());
        std::ofstream(file(QStringLiteral("foreign.dat")), std::ios::binary) << std::string(kDataFileSize, 'x');
        chooser_.opens = {file(QStringLiteral("foreign.dat"))};
        click(*form_, "LoadButton");
        QCOMPARE(sink_.errors(), std::vector<std::u16string>{kIncompatibleFileText});
        QCOMPARE(message('2')->text(), QStringLiteral("mine"));
    }

    // Once closed, the window neither ticks nor holds the device.
    void closingReleasesTheDevice() {
        SimulatedDevice device;
        connectTo(device);
        click(*form_, "TestkeypadButton");
        QTRY_VERIFY_WITH_TIMEOUT(device.counters().openHandles > 0, 2000);
        QVERIFY(form_->close());
        QCOMPARE(device.counters().openHandles, std::size_t(0));
        QVERIFY(!control<QTimer>(*form_, QStringLiteral("Timer1"))->isActive());
        const std::size_t received = device.receivedCount();
        QTest::qWait(300);  // several key-poll periods
        QCOMPARE(device.receivedCount(), received);
        form_.reset();
    }
};

QB_APP_TEST(MainFormCloseTest)
#include "MainFormCloseTest.moc"
