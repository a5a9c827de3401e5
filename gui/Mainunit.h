// TMainForm, the one window of the tool: the keypad definition, the serial settings, the sixteen key messages and
// the buttons that load, save, write, read and test them. The controls are built by the three group classes;
// this class is the window's behaviour: its handlers, and the interfaces through which the configuration, the
// file flows and the device operations reach the controls.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <QPointer>
#include <QString>
#include <QWidget>

#include "gui/QtDialogs.h"
#include "gui/QtDispatcher.h"
#include "config/ConfigView.h"
#include "config/FileAccess.h"
#include "config/KeypadConfig.h"
#include "device/BusWatcher.h"
#include "device/DeviceLink.h"
#include "device/DevicePresence.h"
#include "protocol/Operations.h"
#include "protocol/OperationsUi.h"

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace qb {

class BackupsDialog;
class KeypadGroup;
class MessagesGroup;
class ReadBackWindow;
class SerialMonitor;
class SerialSettingsGroup;
class StatusLine;
class Transport;

inline constexpr char kApplicationTitle[] = "Quillanterbrooke";
inline constexpr char kHelpFileName[] = "quillanterbrooke.chm";

class TMainForm : public QWidget, public ConfigView, public OperationsUi {
    Q_OBJECT

public:
    // `transport` is where the device is looked for. The help file is looked for in `programFolder`; empty
    // means the folder of the program file.
    explicit TMainForm(Transport& transport, const QString& programFolder = QString(), QWidget* parent = nullptr);
    ~TMainForm() override;

    // The message boxes and the file dialogs are Qt's unless replaced (tests); nullptr restores them.
    void setUserSink(UserSink* sink) { sink_ = sink ? sink : &qtSink_; }
    void setFileChooser(FileChooser* chooser) { chooser_ = chooser ? chooser : &qtChooser_; }

    // Loads a data file chosen elsewhere (the command line), as Load File does with a chosen one. True if loaded.
    bool LoadFile(const QString& path);
    bool LoadFile(const std::filesystem::path& path);

    DeviceLink& link() { return link_; }
    ConfigStore& store() { return store_; }

    // ConfigView.
    int columnLine(int column) const override;
    void setColumnLine(int column, int value) override;
    int rowLine(int row) const override;
    void setRowLine(int row, int value) override;
    std::u16string legendText(int legendIndex) const override;
    void setLegendText(int legendIndex, const std::u16string& text) override;
    std::u16string messageText(int legendIndex) const override;
    void setMessageText(int legendIndex, const std::u16string& text) override;
    int baudIndex() const override;
    void setBaudIndex(int index) override;
    bool isChecked(RadioButton button) const override;
    void check(RadioButton button) override;

    // OperationsUi: boxes go to the user sink, but for those of the read that backs up before a write.
    void showError(const std::u16string& text) override;
    void showInformation(const std::u16string& text) override;
    void clearLog() override;
    void addLogLine(const std::u16string& line) override;
    void showKey(int legendIndex) override;
    void setTestButtonCaption(const std::u16string& caption) override;
    void setBusy(bool busy) override;
    void deviceIdentified(const IdentityReply& reply) override;
    void showProgress(const Progress& progress) override;
    void setTicksNeeded(bool needed) override;
    void finished(const Outcome& outcome) override;

    // Presence, the device choice and the serial monitor (MainunitPresence.cpp).
    DevicePresence& presence() { return presence_; }
    // Replaces the bus watcher chosen for the transport (tests).
    void setBusWatcher(std::unique_ptr<BusWatcher> watcher);
    // The encoder the operations use while several are attached: a path or a USB serial number string.
    void chooseDevice(const std::string& key);
    // A port the serial monitor lists besides the system's (the simulated device's).
    void addMonitorPort(const QString& name, const QString& description);
    // Made at its first use.
    SerialMonitor* serialMonitor();
    void showReadBack(const DeviceImage& device) override;

public slots:
    void LoadButtonClick();
    void SaveButtonClick();
    void WriteButtonClick();
    void ReadButtonClick();
    void TestkeypadButtonClick();
    void HelpButtonClick();
    void ExitButtonClick();
    void Timer1Timer();
    // Looks at the bus again and updates the status line.
    void refreshPresence();
    void openSerialMonitor();
    // The device's values, as the last read brought them, into the window; with unsaved edits it asks first.
    void TakeOverDeviceValues();
    // "Backups...": this device's backups (every device's before one was identified).
    void openBackups();
    // Writes a backup's configuration into the device, verified, with a backup first like any write. One of
    // `settingsOnly` (its messages were not read) is written only once the user has said yes.
    void WriteBackup(const QString& path, bool settingsOnly);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void FormCreate();
    bool FormCloseQuery();
    void FormClose();
    void SetupHelp();
    void ReleaseHelp();
    // The change handler of every legend edit: the key's message label shows the legend's whole text.
    void SwitchEditChange(int legendIndex);
    QRadioButton* radio(RadioButton button) const;
    void setUpPresence(Transport& transport);
    // At close: no more bus changes, and the serial monitor closes with the window.
    void ReleasePresence();
    void createOptions();

    // A write: with a backup first, a read whose outcome is kept, then the write of `config` with `options`.
    struct PlannedWrite {
        KeypadConfig config;
        OperationOptions options;
    };
    void StartWrite(const KeypadConfig& config, const OperationOptions& options);
    void RunWrite();
    void BackupReadFinished(const Outcome& outcome);
    // A write or read is under way, or a write waits for its backup: no other operation starts, the window does
    // not close.
    bool operationUnderWay() const;
    void updateDeviceButtons();
    // The close asked for while an operation was under way, now that it has ended.
    void closeIfAsked();

    // Controls.
    KeypadGroup* GroupBox1 = nullptr;  // "Define Keypad"
    QPushButton* LoadButton = nullptr;
    QPushButton* SaveButton = nullptr;
    QPushButton* WriteButton = nullptr;
    QPushButton* ReadButton = nullptr;
    QPushButton* HelpButton = nullptr;
    QPushButton* ExitButton = nullptr;
    SerialSettingsGroup* GroupBox3 = nullptr;  // "Serial Port Settings"
    MessagesGroup* GroupBox2 = nullptr;        // "Serial Port Messages"
    QPlainTextEdit* LogMemo = nullptr;
    QTimer* Timer1 = nullptr;
    // Below the designed area: the choices beyond the documented operations, remembered between runs.
    QCheckBox* VerifyWritesCheckBox = nullptr;
    QCheckBox* ReadMessagesCheckBox = nullptr;
    QCheckBox* BackupCheckBox = nullptr;
    QPointer<ReadBackWindow> readBack_;
    DeviceImage lastRead_;
    OperationKind lastStarted_ = OperationKind::Read;
    // The write whose backup is being read, while it is; then until it starts.
    std::optional<PlannedWrite> plannedWrite_;
    bool backupReading_ = false;
    bool skipReadBack_ = false;  // the backup's read is no read of the user's: no read-back window
    bool closeAsked_ = false;
    bool operationOpen_ = false;  // a write or read of the window's was asked for and has not given its outcome
    bool deviceBusy_ = false;
    std::optional<std::string> lastSerial_;  // as the last operation identified it
    QPointer<BackupsDialog> backups_;

    // Help viewer state.
    QString HelpFilePath;
    std::uint32_t HelpCookie = 0;
    QString programFolder_;

    // The user, the dialogs and the disk.
    QtUserSink qtSink_{this};
    QtFileChooser qtChooser_{this};
    DiskFileAccess files_;
    UserSink* sink_ = &qtSink_;
    FileChooser* chooser_ = &qtChooser_;

    // The configuration and the device. The link is destroyed before the dispatcher it posts to.
    ConfigStore store_;
    QtDispatcher dispatcher_;
    DeviceLink link_;
    DeviceOperations operations_;

    // The status line under the designed area, and the serial monitor window.
    DevicePresence presence_;
    std::unique_ptr<BusWatcher> watcher_;
    StatusLine* statusLine_ = nullptr;
    std::unique_ptr<SerialMonitor> monitor_;
    QList<QPair<QString, QString>> monitorPorts_;
};

}  // namespace qb
