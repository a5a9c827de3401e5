#include "presenter/MainPresenter.h"

#include <system_error>

#include "config/Codepage.h"
#include "config/ConfigTransfer.h"
#include "config/DataFile.h"
#include "config/FileFlows.h"
#include "config/Text.h"
#include "presenter/BusWatchers.h"
#include "presenter/HelpViewer.h"
#include "protocol/DeviceBackup.h"

namespace qb {

namespace {

constexpr char kVerifyWritesKey[] = "verifyWrites";
constexpr char kReadMessagesKey[] = "readMessages";
constexpr char kBackupKey[] = "backUpBeforeWriting";

std::u16string Number(std::size_t n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace

std::string KeyControl(const char* prefix, const KeyInfo& key) {
    return std::string(prefix) + key.suffix;
}

MainPresenter::MainPresenter(WindowSkin& skin, Transport& transport, std::filesystem::path programFolder)
    : skin_(skin),
      programFolder_(std::move(programFolder)),
      transport_(transport),
      link_(transport, skin.dispatcher()),
      operations_(link_, *this),
      presence_(transport, link_) {}

MainPresenter::~MainPresenter() {
    // Nothing may reach a presenter that is gone: no bus change, no report.
    watcher_.reset();
    link_.Stop();
}

void MainPresenter::FormCreate() {
    skin_.setCaption(FromUtf8(std::string(kProductName) + " Interface Version " + kInterfaceVersion));
    operations_.OperationStep = osIdle;
    skin_.setValue("BaudRateComboBox", kDefaultBaudCode);
    operations_.KeyPollTicks = 0;
    store_.SetDefaultConfig(*this);
    loadOptions();
    SetupHelp();
}

void MainPresenter::startPresence(std::unique_ptr<BusWatcher> watcher) {
    watcher_ = watcher ? std::move(watcher) : MakeWindowBusWatcher(transport_, skin_.dispatcher());
    if (watcher_) watcher_->start([this] { refreshPresence(); });
    refreshPresence();
}

// ---- The options below the designed area ----

// Read once; written only when a choice changes.
void MainPresenter::loadOptions() {
    loadingOptions_ = true;
    skin_.setChecked(controls::kVerifyWrites, skin_.rememberedOption(kVerifyWritesKey, false));
    skin_.setChecked(controls::kReadMessages, skin_.rememberedOption(kReadMessagesKey, false));
    skin_.setChecked(controls::kBackup, skin_.rememberedOption(kBackupKey, true));
    loadingOptions_ = false;
    operations_.options.verifyWrites = skin_.checked(controls::kVerifyWrites);
    operations_.options.readMessages = skin_.checked(controls::kReadMessages);
}

void MainPresenter::OptionChanged() {
    if (loadingOptions_) return;
    operations_.options.verifyWrites = skin_.checked(controls::kVerifyWrites);
    operations_.options.readMessages = skin_.checked(controls::kReadMessages);
    skin_.rememberOption(kVerifyWritesKey, operations_.options.verifyWrites);
    skin_.rememberOption(kReadMessagesKey, operations_.options.readMessages);
    skin_.rememberOption(kBackupKey, skin_.checked(controls::kBackup));
}

// ---- Closing ----

void MainPresenter::ExitButtonClick() {
    skin_.requestClose();
}

bool MainPresenter::FormCloseQuery() {
    return QueryClose(store_, *this, skin_.boxes(), skin_.fileChooser(), files_);
}

void MainPresenter::FormClose() {
    ReleaseHelp();
    // Nothing may tick, or reach the window from the device, once it has closed.
    skin_.setTimerRunning(false);
    watcher_.reset();
    skin_.closeSerialMonitor();
    link_.Stop();
    closed_ = true;
}

bool MainPresenter::CloseRequested() {
    if (closed_) return true;
    // Stopping the link now could leave the device half written: the close waits for the operation's end.
    if (operationUnderWay()) {
        closeAsked_ = true;
        showNote(lastStarted_ == OperationKind::Write || plannedWrite_ ? u"Closing once the write has finished..."
                                                                       : u"Closing once the read has finished...");
        return false;
    }
    if (!FormCloseQuery()) return false;
    FormClose();
    return true;
}

void MainPresenter::closeIfAsked() {
    if (!closeAsked_ || operationUnderWay()) return;
    closeAsked_ = false;
    showNote(u"");
    // Not from within the operation's own calls: the close stops the link.
    skin_.dispatcher().post([this] { skin_.requestClose(); });
}

// ---- Buttons, timer and legends ----

void MainPresenter::LoadButtonClick() {
    LoadDataFile(store_, *this, skin_.boxes(), skin_.fileChooser(), files_);
}

bool MainPresenter::LoadFile(const std::filesystem::path& path) {
    return LoadDataFileFrom(path, store_, *this, skin_.boxes(), files_);
}

void MainPresenter::SaveButtonClick() {
    SaveDataFile(store_, *this, skin_.boxes(), skin_.fileChooser(), files_);
}

// A click that cannot start its operation now (a write or read is under way) changes nothing; one that can packs
// the window into the record and hands the operation a copy of it.
void MainPresenter::WriteButtonClick() {
    if (operationUnderWay()) return;
    PackConfig(*this, store_.Config);
    StartWrite(store_.Config, operations_.options);
}

void MainPresenter::ReadButtonClick() {
    if (operationUnderWay()) return;
    lastStarted_ = OperationKind::Read;
    operationOpen_ = true;
    if (!operations_.Read()) operationOpen_ = false;
}

void MainPresenter::TestkeypadButtonClick() {
    if (operations_.testRunning() || operations_.testPending()) {
        operations_.StopKeypadTest();
        return;
    }
    if (operationUnderWay()) return;
    PackConfig(*this, store_.Config);
    operations_.StartKeypadTest(store_.Config);
}

void MainPresenter::Timer1Timer() {
    operations_.Timer1Timer();
}

void MainPresenter::SwitchEditChange(int legendIndex) {
    const KeyInfo& key = kKeys.at(std::size_t(legendIndex));
    skin_.setText(KeyControl("OutStringLabel", key), skin_.text(KeyControl("SwitchEdit", key)));
}

KeypadConfig MainPresenter::windowConfig() const {
    KeypadConfig config = store_.Config;
    PackConfig(*this, config);
    return config;
}

// ---- Writing with a backup first ----

// With backups on, the write waits for a read of what the device holds (the messages too where the firmware serves
// them), and starts once that is kept; the read shows no box and no read-back of its own.
void MainPresenter::StartWrite(const KeypadConfig& config, const OperationOptions& options) {
    plannedWrite_ = PlannedWrite{config, options};
    // A configuration the write refuses before sending anything needs no backup: the write says why at once.
    MessageBlock translated{};
    const bool refused =
        TranslateMessages(config.Messages, translated) >= 0 || config.Settings[kBaudCodeOffset] >= kBaudRates.size();
    if (!skin_.checked(controls::kBackup) || refused) {
        RunWrite();
        return;
    }
    backupReading_ = true;
    operationOpen_ = true;
    updateDeviceButtons();
    const OperationOptions chosen = operations_.options;
    operations_.options = OperationOptions{true, false};
    lastStarted_ = OperationKind::Read;
    const bool started = operations_.Read();
    operations_.options = chosen;
    if (!started) {
        backupReading_ = operationOpen_ = false;
        plannedWrite_.reset();
        updateDeviceButtons();
    }
}

void MainPresenter::BackupReadFinished(const Outcome& outcome) {
    backupReading_ = false;
    skipReadBack_ = outcome.ok();  // a completed read shows its read-back after its outcome
    std::u16string error;
    if (!outcome.ok() || !outcome.read || !outcome.device) {
        error = outcome.text.empty() ? std::u16string(kCannotCommunicateText) : outcome.text;
    } else if (const DeviceBackup backup = SaveDeviceBackup(outcome); !backup.error.empty()) {
        error = FromUtf8(backup.error);
    }
    if (!error.empty()) {
        plannedWrite_.reset();
        skin_.boxes().showError(u"No backup of the device's configuration could be made:\r\n" + error +
                                u"\r\nNothing was written. Untick \"Back up before writing\" to write without one.");
        return;
    }
    skin_.showBackups(lastSerial_, true);
    // The write starts once the read's own calls have returned.
    skin_.dispatcher().post([this] { RunWrite(); });
}

void MainPresenter::RunWrite() {
    if (!plannedWrite_) return;
    const PlannedWrite write = std::move(*plannedWrite_);
    plannedWrite_.reset();
    const OperationOptions chosen = operations_.options;
    operations_.options = write.options;
    lastStarted_ = OperationKind::Write;
    operationOpen_ = true;
    if (!operations_.Write(write.config)) operationOpen_ = false;
    operations_.options = chosen;
    updateDeviceButtons();
    closeIfAsked();
}

bool MainPresenter::operationUnderWay() const {
    return operationOpen_ || plannedWrite_.has_value();
}

void MainPresenter::BackupsButtonClick() {
    skin_.showBackups(lastSerial_, false);
}

void MainPresenter::WriteBackup(const std::filesystem::path& path, bool settingsOnly) {
    UserSink& boxes = skin_.boxes();
    if (operationUnderWay()) {
        boxes.showError(u"A write or read is under way: write the backup back once it has finished.");
        return;
    }
    const std::optional<std::vector<std::uint8_t>> bytes = files_.read(path, 2 * kDataFileSize);
    const DecodeResult decoded =
        bytes ? DecodeDataFile(bytes->data(), bytes->size()) : DecodeResult(u"Cannot read " + path.u16string());
    if (const auto* error = std::get_if<std::u16string>(&decoded)) {
        boxes.showError(*error);
        return;
    }
    if (settingsOnly &&
        boxes.askYesNoCancel(u"This backup holds the device's settings only: the firmware did not serve its "
                             u"messages, so the backup's messages are the defaults.\r\nWrite it back, these "
                             u"messages too?") != Answer::Yes)
        return;
    StartWrite(std::get<KeypadConfig>(decoded), OperationOptions{true, true});
}

// ---- Help ----

void MainPresenter::SetupHelp() {
    std::error_code error;
    HelpFilePath = std::filesystem::absolute(programFolder_ / kHelpFileName, error).lexically_normal();
#ifdef QB_INSTALLED_HELP_DIR
    // Installed, the help file is with the program's other data rather than beside it.
    const std::filesystem::path installed =
        std::filesystem::absolute(programFolder_ / QB_INSTALLED_HELP_DIR / kHelpFileName, error).lexically_normal();
    if (!std::filesystem::is_regular_file(HelpFilePath, error) && std::filesystem::is_regular_file(installed, error))
        HelpFilePath = installed;
#endif
    HelpViewer& viewer = skin_.helpViewer();
    helpReady_ = std::filesystem::is_regular_file(HelpFilePath, error) && viewer.LoadHelpViewer();
    skin_.setVisible("HelpButton", helpReady_);
    if (helpReady_) viewer.Initialize(HelpCookie);
}

void MainPresenter::HelpButtonClick() {
    if (helpReady_) skin_.helpViewer().DisplayTopic(HelpFilePath);
}

void MainPresenter::ReleaseHelp() {
    // The button is visible exactly when set-up succeeded.
    if (!std::exchange(helpReady_, false)) return;
    HelpViewer& viewer = skin_.helpViewer();
    viewer.CloseAll();
    if (viewer.HelpLibraryLoaded()) {
        viewer.Uninitialize(HelpCookie);
        viewer.UnloadHelpViewer();
    }
}

// ---- ConfigView ----

namespace {

std::string Numbered(const char* prefix, int index) {
    return prefix + std::to_string(index + 1);
}

const char* RadioName(RadioButton button) {
    switch (button) {
        case RadioButton::NoParity:
            return "NoParityRadioButton";
        case RadioButton::EvenParity:
            return "EvenParityRadioButton";
        case RadioButton::OddParity:
            return "OddParityRadioButton";
        case RadioButton::StopBit1:
            return "StopBitRadioButton1";
        case RadioButton::StopBit2:
            return "StopBitRadioButton2";
    }
    return "NoParityRadioButton";
}

}  // namespace

int MainPresenter::columnLine(int column) const {
    return skin_.value(Numbered("CSpinEdit", column));
}

void MainPresenter::setColumnLine(int column, int value) {
    skin_.setValue(Numbered("CSpinEdit", column), value);
}

int MainPresenter::rowLine(int row) const {
    return skin_.value(Numbered("RowCSpinEdit", row));
}

void MainPresenter::setRowLine(int row, int value) {
    skin_.setValue(Numbered("RowCSpinEdit", row), value);
}

std::u16string MainPresenter::legendText(int legendIndex) const {
    return skin_.text(KeyControl("SwitchEdit", kKeys.at(std::size_t(legendIndex))));
}

void MainPresenter::setLegendText(int legendIndex, const std::u16string& text) {
    // The skin runs the change handler, as typing does.
    skin_.setText(KeyControl("SwitchEdit", kKeys.at(std::size_t(legendIndex))), text);
}

std::u16string MainPresenter::messageText(int legendIndex) const {
    return skin_.text(KeyControl("OutStringEdit", kKeys.at(std::size_t(legendIndex))));
}

void MainPresenter::setMessageText(int legendIndex, const std::u16string& text) {
    skin_.setText(KeyControl("OutStringEdit", kKeys.at(std::size_t(legendIndex))), text);
}

int MainPresenter::baudIndex() const {
    return skin_.value("BaudRateComboBox");
}

void MainPresenter::setBaudIndex(int index) {
    skin_.setValue("BaudRateComboBox", index >= 0 && index < int(kBaudRates.size()) ? index : -1);
}

bool MainPresenter::isChecked(RadioButton button) const {
    return skin_.checked(RadioName(button));
}

void MainPresenter::check(RadioButton button) {
    skin_.setChecked(RadioName(button), true);
}

// ---- OperationsUi ----

void MainPresenter::clearLog() {
    skin_.setText("LogMemo", u"");
}

void MainPresenter::addLogLine(const std::u16string& line) {
    skin_.appendLine("LogMemo", line);
}

void MainPresenter::showKey(int legendIndex) {
    for (const KeyInfo& key : kKeys)
        skin_.setColour(KeyControl("SwitchEdit", key),
                        key.legendIndex == legendIndex ? std::optional<Colour>(kLitKeyColour) : std::nullopt);
}

void MainPresenter::setTestButtonCaption(const std::u16string& caption) {
    skin_.setText("TestkeypadButton", caption);
}

void MainPresenter::showError(const std::u16string& text) {
    if (!backupReading_) skin_.boxes().showError(text);
}

void MainPresenter::showInformation(const std::u16string& text) {
    if (!backupReading_) skin_.boxes().showInformation(text);
}

void MainPresenter::showReadBack(const DeviceImage& device) {
    if (std::exchange(skipReadBack_, false)) return;
    lastRead_ = device;
    skin_.showReadBack(CompareWithDevice(windowConfig(), device));
}

void MainPresenter::TakeOverDeviceValues() {
    // Unsaved edits are about to be replaced: the same question as at closing.
    if (!FormCloseQuery()) return;
    const std::vector<char> kept = qb::TakeOverDeviceValues(lastRead_, store_.Config);
    UnpackConfig(store_.Config, *this);
    skin_.closeReadBack();
    if (!kept.empty()) {
        std::u16string keys;
        for (char key : kept) keys += (keys.empty() ? u"" : u", ") + std::u16string(1, char16_t(key));
        skin_.boxes().showInformation(u"The device's messages for keys " + keys +
                                      u" are longer than 63 characters when written with escapes;\r\nthe window "
                                      u"keeps its own messages for them.");
    }
}

void MainPresenter::showProgress(const Progress& progress) {
    if (progress.planned <= 0) {
        skin_.setVisible(controls::kProgressText, false);
        return;
    }
    // The read before a write is the write's backup, and says so.
    const char16_t* doing = backupReading_                         ? u"Backing up: "
                            : lastStarted_ == OperationKind::Write ? u"Writing: "
                                                                   : u"Reading: ";
    skin_.setText(controls::kProgressText, doing + Number(std::size_t(progress.done)) + u" of " +
                                               Number(std::size_t(progress.planned)) + u" reports");
    skin_.setVisible(controls::kProgressText, true);
}

void MainPresenter::finished(const Outcome& outcome) {
    if (outcome.operation != OperationKind::KeypadTest) operationOpen_ = false;
    if (outcome.operation == OperationKind::Read && backupReading_) {
        BackupReadFinished(outcome);
    } else if (outcome.operation == OperationKind::Read && outcome.ok() && outcome.read) {
        // A read brings the device's settings into the record only: the controls keep what they show.
        UnpackSettingsBlock(outcome.read->blocks[0], 0, store_.Config.Settings);
    }
    updateDeviceButtons();
    closeIfAsked();
}

void MainPresenter::setBusy(bool busy) {
    deviceBusy_ = busy;
    updateDeviceButtons();
}

// From the click to the end of its write, a write with its backup holds the buttons as one operation.
void MainPresenter::updateDeviceButtons() {
    const bool locked = deviceBusy_ || operationUnderWay();
    skin_.setEnabled("WriteButton", !locked);
    skin_.setEnabled("ReadButton", !locked);
    skin_.setEnabled("TestkeypadButton", !locked);
    // The backup and its write go to one device.
    skin_.setEnabled(controls::kDeviceChooser, !(locked || skin_.timerRunning()));
}

// Timer1 runs only while an operation or a keypad test has something to count.
void MainPresenter::setTicksNeeded(bool needed) {
    if (needed != skin_.timerRunning()) skin_.setTimerRunning(needed);
    skin_.setEnabled(controls::kDeviceChooser, !(needed || operationUnderWay()));
}

// ---- The status line ----

void MainPresenter::refreshPresence() {
    presence_.refresh();
    showPresence();
}

void MainPresenter::chooseDevice(const std::string& key) {
    presence_.choose(key);
    showPresence();
}

void MainPresenter::DeviceChosen(int index) {
    const auto& encoders = presence_.encoders();
    if (index >= 0 && std::size_t(index) < encoders.size()) chooseDevice(encoders[std::size_t(index)].key);
}

void MainPresenter::deviceIdentified(const IdentityReply& reply) {
    presence_.identified(FromAnsi(reply.version), reply.serial);
    lastSerial_ = FormatSerial(reply.serial);
    showPresence();
}

// The chooser is shown only while more than one encoder is attached.
void MainPresenter::showPresence() {
    const auto& encoders = presence_.encoders();
    if (encoders.size() <= 1) {
        skin_.setVisible(controls::kDeviceChooser, false);
        skin_.setText(controls::kPresenceText, presence_.statusText());
        return;
    }
    skin_.setText(controls::kPresenceText, Number(encoders.size()) + u" encoders attached; the operations use:");
    std::vector<std::u16string> items;
    for (const AttachedEncoder& encoder : encoders) items.push_back(presence_.describe(encoder));
    skin_.setItems(controls::kDeviceChooser, items, presence_.chosen());
    skin_.setVisible(controls::kDeviceChooser, true);
}

void MainPresenter::showNote(const std::u16string& note) {
    skin_.setText(controls::kNoteText, note);
    skin_.setVisible(controls::kNoteText, !note.empty());
}

}  // namespace qb
