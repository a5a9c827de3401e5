// The backup the window makes before every write, the backups dialog, and closing while a write is under way.
#include <chrono>

#include <QEvent>
#include <QListWidget>

#include "AppTestSupport.h"

#include "config/Backups.h"
#include "config/DataFile.h"
#include "config/FileFlows.h"
#include "config/MemoryConfigView.h"
#include "gui/BackupsDialog.h"
#include "gui/ReadBackWindow.h"
#include "protocol/DeviceImage.h"
#include "protocol/Operations.h"

namespace {

constexpr std::int32_t kSerial = 4711;

// Counts the boxes shown before each time a button became usable again.
class EnableWatch : public QObject {
public:
    EnableWatch(QWidget* button, const FakeSink& sink) : button_(button), sink_(sink) {
        button->installEventFilter(this);
    }
    std::vector<std::size_t> boxesAtEnable;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == button_ && event->type() == QEvent::EnabledChange && button_->isEnabled())
            boxesAtEnable.push_back(sink_.shown.size());
        return false;
    }

private:
    QWidget* button_;
    const FakeSink& sink_;
};

}  // namespace

class WindowBackupTest : public FormTest {
    Q_OBJECT

    SimulatedDevice device_;
    std::filesystem::path backups_;
    int testNumber_ = 0;
    QByteArray mainBackups_;  // the test program's own folder, for the classes that run after this one

    void fillDevice() { HoldFastAndHiOnKey5(device_); }
    int deviceBaud() const {
        SettingsBlock settings{};
        UnpackSettingsBlock(device_.block(0), 0, settings);
        return settings[kBaudCodeOffset];
    }
    KeypadConfig backupIn(const std::filesystem::path& path) {
        const auto bytes = DiskFileAccess().read(path, 2 * kDataFileSize);
        if (!bytes) qFatal("no backup file");
        return std::get<KeypadConfig>(DecodeDataFile(bytes->data(), bytes->size()));
    }
    void waitForBoxes(std::size_t count) {
        QTRY_COMPARE_WITH_TIMEOUT(sink_.shown.size(), count, 10000);
        QTest::qWait(50);  // nothing more follows
    }
    BackupsDialog* openBackups() {
        click(*control<QWidget>(*form_, "StatusLine"), "BackupsButton");
        return control<BackupsDialog>(*form_, "BackupsDialog");
    }

private slots:
    void initTestCase() { mainBackups_ = qgetenv(kBackupDirVariable); }
    void cleanupTestCase() { qputenv(kBackupDirVariable, mainBackups_); }
    void init() {
        sink_ = FakeSink();
        chooser_ = ScriptedChooser();
        backups_ = file(qPrintable(QStringLiteral("backups%1").arg(++testNumber_)));
        qputenv(kBackupDirVariable, QByteArray::fromStdString(backups_.string()));
        device_.setServesMessageBlocks(true);
        device_.setSerial(kSerial);
        device_.setAnswerDelay(std::chrono::nanoseconds(0));
        fillDevice();
        connectTo(device_);
    }
    void cleanup() {
        control<QCheckBox>(*form_, "BackupCheckBox")->setChecked(true);
        form_.reset();
    }

    // The write keeps what the device held first, quietly: the write's own box is the only one, no read-back
    // shows, the window's record keeps its settings, and the buttons stay locked from the click to the write's end.
    void aBackupComesBeforeEveryWrite_data() {
        QTest::addColumn<bool>("serves");
        QTest::newRow("settings and messages") << true;
        QTest::newRow("settings only") << false;
    }
    void aBackupComesBeforeEveryWrite() {
        QFETCH(bool, serves);
        device_.setServesMessageBlocks(serves);
        EnableWatch watch(control(*form_, "WriteButton"), sink_);
        click(*form_, "WriteButton");
        waitForBoxes(1);
        QCOMPARE(sink_.shown[0].text, std::u16string(kDownloadCompleteText));
        QVERIFY(!form_->findChild<ReadBackWindow*>());
        QCOMPARE(watch.boxesAtEnable, std::vector<std::size_t>{1});
        QCOMPARE(deviceBaud(), int(kDefaultBaudCode));
        QCOMPARE(int(form_->store().Config.Settings[kBaudCodeOffset]), int(kDefaultBaudCode));

        const BackupList list = ListBackups(backups_);
        QCOMPARE(list.entries.size(), std::size_t(1));
        QCOMPARE(list.entries[0].serial, FormatSerial(kSerial));
        QCOMPARE(list.entries[0].messagesRead, std::optional<bool>(serves));
        const KeypadConfig kept = backupIn(list.entries[0].path);
        QCOMPARE(int(kept.Settings[kBaudCodeOffset]), 6);
        QCOMPARE(QString::fromLatin1(SlotText(Slot(kept.Messages, keyNamed('5').slot)).data()),
                 QString::fromLatin1(serves ? "Hi\\0D" : "5"));
    }

    // A backup that cannot be made stops the write with one box saying why; unticked, the write goes ahead
    // without one.
    void noBackupNoWrite_data() {
        QTest::addColumn<bool>("attached");
        QTest::addColumn<bool>("folderIsFile");
        QTest::addColumn<bool>("backUp");
        QTest::newRow("no device") << false << false << true;
        QTest::newRow("folder unusable") << true << true << true;
        QTest::newRow("unticked") << true << true << false;
    }
    void noBackupNoWrite() {
        QFETCH(bool, attached);
        QFETCH(bool, folderIsFile);
        QFETCH(bool, backUp);
        if (!attached) connectTo(noDevice_);
        if (folderIsFile) QVERIFY(DiskFileAccess().write(backups_, {1, 2, 3}));
        control<QCheckBox>(*form_, "BackupCheckBox")->setChecked(backUp);
        click(*form_, "WriteButton");
        waitForBoxes(1);
        QCOMPARE(deviceBaud(), backUp ? 6 : int(kDefaultBaudCode));
        const std::u16string box = sink_.shown[0].text;
        if (!backUp) {
            QCOMPARE(box, std::u16string(kDownloadCompleteText));
            // Remembered for the next window.
            connectTo(device_);
            QVERIFY(!control<QCheckBox>(*form_, "BackupCheckBox")->isChecked());
            return;
        }
        QCOMPARE(int(sink_.shown[0].kind), int(FakeSink::Kind::Error));
        QVERIFY(box.starts_with(u"No backup of the device's configuration could be made:\r\n"));
        QVERIFY(box.find(attached ? u"\r\n" : kCannotFindText) != std::u16string::npos);
        QVERIFY(box.ends_with(u"Nothing was written. Untick \"Back up before writing\" to write without one."));
        QVERIFY(control(*form_, "WriteButton")->isEnabled());
    }

    // The dialog lists every device's backups until one is identified, then its own; a backup loads into the
    // window, and is written back verified, after a backup of its own.
    void backupsAreWrittenBackAndLoaded() {
        KeypadConfig other;
        ApplyDefaults(other);
        QVERIFY(SaveBackup(backups_, "OTHER", other, {}).error.empty());
        BackupsDialog* dialog = openBackups();
        auto* list = control<QListWidget>(*dialog, "BackupsList");
        QCOMPARE(list->count(), 1);
        QVERIFY(list->item(0)->text().contains(QStringLiteral("OTHER")));

        click(*form_, "WriteButton");
        waitForBoxes(1);
        QCOMPARE(openBackups(), dialog);
        QCOMPARE(list->count(), 1);
        QVERIFY(list->item(0)->text().endsWith(QStringLiteral("settings and messages")));

        click(*dialog, "LoadBackupButton");
        QCOMPARE(message('5')->text(), QStringLiteral("Hi\\0D"));
        QCOMPARE(control<QComboBox>(*form_, "BaudRateComboBox")->currentText(), QStringLiteral("57600"));
        retype(message('5'), QStringLiteral("not written"));

        click(*dialog, "WriteBackButton");
        waitForBoxes(2);
        QCOMPARE(sink_.shown[1].text, std::u16string(kDownloadVerifiedText));
        QCOMPARE(deviceBaud(), 6);
        QCOMPARE(ListBackups(backups_, FormatSerial(kSerial)).entries.size(), std::size_t(2));
        QCOMPARE(list->count(), 2);  // the open dialog follows
    }

    // A backup without the device's messages is written back only once the user has said yes.
    void aSettingsOnlyBackupAsksFirst() {
        KeypadConfig settingsOnly;
        ApplyDefaults(settingsOnly);
        BackupNote note;
        note.messagesRead = false;
        QVERIFY(SaveBackup(backups_, FormatSerial(kSerial), settingsOnly, note).error.empty());
        BackupsDialog* dialog = openBackups();
        QVERIFY(
            control<QListWidget>(*dialog, "BackupsList")->item(0)->text().endsWith(QStringLiteral("settings only")));
        sink_.answers = {Answer::No, Answer::Yes};
        click(*dialog, "WriteBackButton");
        QCOMPARE(sink_.questions().size(), std::size_t(1));
        QCOMPARE(deviceBaud(), 6);
        click(*dialog, "WriteBackButton");
        waitForBoxes(3);
        QCOMPARE(deviceBaud(), int(kDefaultBaudCode));
    }

    // A configuration the write refuses unsent is not backed up first: the device is not even opened.
    void aRefusedWriteTakesNoBackup() {
        retype(message('3'), QStringLiteral("\\Q"));
        const std::size_t opens = device_.counters().opens;
        click(*form_, "WriteButton");
        waitForBoxes(1);
        QVERIFY(sink_.errors().at(0).starts_with(u"Error on Message"));
        QCOMPARE(device_.counters().opens, opens);
        QVERIFY(ListBackups(backups_).entries.empty());
    }

    // A close during a write or read waits for its end (also one the device's unplugging brings), says so, then
    // asks the close question as usual.
    void closingWaitsForTheOperation_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("unplug");
        QTest::addColumn<QString>("first");  // the operation's own box
        QTest::newRow("write") << "WriteButton" << false << QString::fromStdU16String(kDownloadCompleteText);
        QTest::newRow("read") << "ReadButton" << false << QString::fromStdU16String(kReadCompleteText);
        QTest::newRow("write, unplugged") << "WriteButton" << true << QString();
    }
    void closingWaitsForTheOperation() {
        QFETCH(QString, button);
        QFETCH(bool, unplug);
        QFETCH(QString, first);
        device_.setAnswerDelay(std::chrono::milliseconds(15));
        retype(message('7'), QStringLiteral("SEVEN"));
        sink_.answers = {Answer::No};
        click(*form_, button);
        QVERIFY(!form_->close());
        QVERIFY(form_->isVisible());
        QCOMPARE(control<QLabel>(*form_, "NoteText")->text(),
                 QStringLiteral("Closing once the %1 has finished...").arg(button == "WriteButton" ? "write" : "read"));
        if (unplug) device_.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!form_->isVisible(), 10000);
        QCOMPARE(sink_.shown.size(), std::size_t(2));
        QCOMPARE(int(sink_.shown[0].kind), int(unplug ? FakeSink::Kind::Error : FakeSink::Kind::Information));
        if (!unplug) QCOMPARE(QString::fromStdU16String(sink_.shown[0].text), first);
        QCOMPARE(sink_.shown[1].text, std::u16string(kDataChangedText));
        QCOMPARE(device_.counters().openHandles, std::size_t(0));
        if (unplug) device_.replug();
    }
};

QB_APP_TEST(WindowBackupTest)
#include "WindowBackupTest.moc"
