// Everything the one window decides, below any toolkit: its handlers, the legend mirroring, the memo lines, the lit
// key, the busy state, the backup before a write, the close question, the remembered options and the status line's
// text. A skin (WindowSkin) builds the controls with the designed names, hands their events to the handlers here
// and does what it is told.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "config/ConfigView.h"
#include "config/FileAccess.h"
#include "config/KeyTable.h"
#include "config/KeypadConfig.h"
#include "device/BusWatcher.h"
#include "device/DeviceLink.h"
#include "device/DevicePresence.h"
#include "presenter/WindowSkin.h"
#include "protocol/DeviceImage.h"
#include "protocol/Operations.h"
#include "protocol/OperationsUi.h"

namespace qb {

class Transport;

inline constexpr char kApplicationTitle[] = "Quillanterbrooke";
inline constexpr char kHelpFileName[] = "quillanterbrooke.chm";
inline constexpr char kInterfaceVersion[] = "1.00";

// The controls below the designed area: the options row and the status line.
namespace controls {
inline constexpr char kVerifyWrites[] = "VerifyWritesCheckBox";
inline constexpr char kReadMessages[] = "ReadMessagesCheckBox";
inline constexpr char kBackup[] = "BackupCheckBox";
inline constexpr char kPresenceText[] = "PresenceText";
inline constexpr char kDeviceChooser[] = "DeviceChooser";
inline constexpr char kProgressText[] = "ProgressText";
inline constexpr char kNoteText[] = "NoteText";
}  // namespace controls

// A control's name for key `key`: "SwitchEdit" + "As" gives "SwitchEditAs".
std::string KeyControl(const char* prefix, const KeyInfo& key);

class MainPresenter : public ConfigView, public OperationsUi {
public:
    // `skin` holds every designed control already. `transport` is where the device is looked for; the help file
    // is looked for in `programFolder`. The skin then runs FormCreate, once it hands its controls' events here.
    MainPresenter(WindowSkin& skin, Transport& transport, std::filesystem::path programFolder);
    ~MainPresenter() override;
    MainPresenter(const MainPresenter&) = delete;
    MainPresenter& operator=(const MainPresenter&) = delete;

    // Starts watching the bus: the skin's `watcher`, or the one that suits the transport when none.
    void startPresence(std::unique_ptr<BusWatcher> watcher = nullptr);

    // ---- The handlers ----
    void FormCreate();
    void LoadButtonClick();
    void SaveButtonClick();
    void WriteButtonClick();
    void ReadButtonClick();
    void TestkeypadButtonClick();
    void HelpButtonClick();
    void ExitButtonClick();
    void Timer1Timer();
    // The change handler of every legend edit: the key's message label shows the legend's whole text.
    void SwitchEditChange(int legendIndex);
    // One of the options' check boxes was toggled.
    void OptionChanged();
    // The status line's chooser: entry `index` of the attached encoders.
    void DeviceChosen(int index);
    // Looks at the bus again and updates the status line.
    void refreshPresence();
    // The device's values, as the last read brought them, into the window; with unsaved edits it asks first.
    void TakeOverDeviceValues();
    // "Backups...": this device's backups (every device's before one was identified).
    void BackupsButtonClick();
    // Writes a backup's configuration into the device, verified, with a backup first like any write. One of
    // `settingsOnly` (its messages were not read) is written only once the user has said yes.
    void WriteBackup(const std::filesystem::path& path, bool settingsOnly);
    // The window is asked to close (close box, Exit, system menu): true if it may close now. While a write or
    // read is under way the close waits for its end and closes then (through WindowSkin::requestClose).
    bool CloseRequested();

    // Loads a data file chosen elsewhere (the command line), as Load File does with a chosen one. True if loaded.
    bool LoadFile(const std::filesystem::path& path);

    DeviceLink& link() { return link_; }
    ConfigStore& store() { return store_; }
    DevicePresence& presence() { return presence_; }
    DeviceOperations& operations() { return operations_; }
    // The encoder the operations use while several are attached: a path or a USB serial number string.
    void chooseDevice(const std::string& key);
    // The help file's full path; the Help button shows only where it is and a viewer is.
    const std::filesystem::path& helpFilePath() const { return HelpFilePath; }
    // The window's configuration as a write would take it (the record itself is left as it is).
    KeypadConfig windowConfig() const;

    // ---- ConfigView: the designed controls through the skin ----
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

    // ---- OperationsUi ----
    void showError(const std::u16string& text) override;
    void showInformation(const std::u16string& text) override;
    void clearLog() override;
    void addLogLine(const std::u16string& line) override;
    void showKey(int legendIndex) override;
    void setTestButtonCaption(const std::u16string& caption) override;
    void setBusy(bool busy) override;
    void deviceIdentified(const IdentityReply& reply) override;
    void showReadBack(const DeviceImage& device) override;
    void showProgress(const Progress& progress) override;
    void setTicksNeeded(bool needed) override;
    void finished(const Outcome& outcome) override;

private:
    bool FormCloseQuery();
    void FormClose();
    void SetupHelp();
    void ReleaseHelp();
    void loadOptions();

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
    void showPresence();
    void showNote(const std::u16string& note);

    WindowSkin& skin_;
    std::filesystem::path programFolder_;

    // Help viewer state.
    std::filesystem::path HelpFilePath;
    std::uint32_t HelpCookie = 0;
    bool helpReady_ = false;

    DeviceImage lastRead_;
    OperationKind lastStarted_ = OperationKind::Read;
    // The write whose backup is being read, while it is; then until it starts.
    std::optional<PlannedWrite> plannedWrite_;
    bool backupReading_ = false;
    bool skipReadBack_ = false;  // the backup's read is no read of the user's: no read-back window
    bool closeAsked_ = false;
    bool closed_ = false;
    bool operationOpen_ = false;  // a write or read of the window's was asked for and has not given its outcome
    bool deviceBusy_ = false;
    bool loadingOptions_ = false;
    std::optional<std::string> lastSerial_;  // as the last operation identified it

    DiskFileAccess files_;
    ConfigStore store_;
    Transport& transport_;
    // The link posts to the skin's dispatcher, which outlives the presenter.
    DeviceLink link_;
    DeviceOperations operations_;
    DevicePresence presence_;
    std::unique_ptr<BusWatcher> watcher_;
};

}  // namespace qb
