// The backups dialog: listing a device's backups, loading one into the window and writing one back.
#include <chrono>

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
};

QB_APP_TEST(WindowBackupTest)
#include "WindowBackupTest.moc"
