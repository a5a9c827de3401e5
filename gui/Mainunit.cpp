#include "gui/Mainunit.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

#include "config/ConfigTransfer.h"
#include "config/DataFile.h"
#include "config/FileFlows.h"
#include "config/Text.h"
#include "gui/BackupsDialog.h"
#include "gui/KeypadGroup.h"
#include "gui/MessagesGroup.h"
#include "gui/ReadBackWindow.h"
#include "gui/RememberedSettings.h"
#include "gui/SerialSettingsGroup.h"
#include "gui/StatusLine.h"
#include "gui/WidgetMaking.h"
#include "gui/help/HelpViewer.h"
#include "gui/monitor/SerialMonitor.h"

namespace qb {

namespace {

constexpr char kVersionText[] = "1.00";
const QColor kLitKeyColour(0, 255, 0);

// The window, in pixels at 96 dpi: a client area of 882 x 599; the keypad top left, the buttons beside it, the
// serial settings top right with the device information under them, the messages along the bottom.
constexpr int kClientWidth = 882, kClientHeight = 599;
constexpr int kMargin = 28, kTop = 24;
constexpr int kButtonX = 456, kButtonW = 113, kButtonH = 25, kButtonPitch = 40;
constexpr int kOptionsHeight = 28;

}  // namespace

TMainForm::TMainForm(Transport& transport, const QString& programFolder, QWidget* parent)
    : QWidget(parent),
      programFolder_(programFolder),
      link_(transport, dispatcher_),
      operations_(link_, *this),
      presence_(transport, link_) {
    createControls();
    FormCreate();
    setUpPresence(transport);
}

TMainForm::~TMainForm() = default;

void TMainForm::createControls() {
    setObjectName(QStringLiteral("MainForm"));
    design::InstallFontSubstitutes();
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    resize(kClientWidth, kClientHeight);

    GroupBox1 = new KeypadGroup(this);
    GroupBox1->move(kMargin, kTop);
    const auto button = [this](const char* name, const QString& caption, int row) {
        return design::Button(this, name, caption, QRect(kButtonX, kTop + 8 + row * kButtonPitch, kButtonW, kButtonH));
    };
    LoadButton = button("LoadButton", tr("Load File"), 0);
    SaveButton = button("SaveButton", tr("Save File"), 1);
    WriteButton = button("WriteButton", tr("Write To VELMORA"), 2);
    ReadButton = button("ReadButton", tr("Read From VELMORA"), 3);
    HelpButton = button("HelpButton", tr("Help"), 4);
    ExitButton = button("ExitButton", tr("Exit"), 5);
    GroupBox3 = new SerialSettingsGroup(this);
    GroupBox3->move(kClientWidth - kMargin - GroupBox3->width(), kTop);
    GroupBox2 = new MessagesGroup(this);
    GroupBox2->move(kMargin, kTop + GroupBox1->height() + 24);

    LogMemo = design::Named(new QPlainTextEdit(this), QStringLiteral("LogMemo"),
                            QRect(kClientWidth - kMargin - 185, kTop + GroupBox3->height() + 12, 185, 77));
    LogMemo->setReadOnly(true);
    LogMemo->setAccessibleName(QStringLiteral("Device information"));
    QPalette memoPalette = LogMemo->palette();
    memoPalette.setColor(QPalette::Base, memoPalette.color(QPalette::Button));
    LogMemo->setPalette(memoPalette);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(50);

    for (const KeyInfo& key : kKeys) {
        const int index = key.legendIndex;
        connect(GroupBox1->SwitchEdits[index], &QLineEdit::textChanged, this,
                [this, index] { SwitchEditChange(index); });
    }
    connect(LoadButton, &QPushButton::clicked, this, &TMainForm::LoadButtonClick);
    connect(SaveButton, &QPushButton::clicked, this, &TMainForm::SaveButtonClick);
    connect(WriteButton, &QPushButton::clicked, this, &TMainForm::WriteButtonClick);
    connect(ReadButton, &QPushButton::clicked, this, &TMainForm::ReadButtonClick);
    connect(GroupBox1->TestkeypadButton, &QPushButton::clicked, this, &TMainForm::TestkeypadButtonClick);
    connect(HelpButton, &QPushButton::clicked, this, &TMainForm::HelpButtonClick);
    connect(ExitButton, &QPushButton::clicked, this, &TMainForm::ExitButtonClick);
    connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);

    // Tab: the keypad, its test button, the button column, the serial settings, the messages, the memo.
    std::vector<QWidget*> order = GroupBox1->tabOrder();
    for (QWidget* w :
         {static_cast<QWidget*>(GroupBox1->TestkeypadButton), static_cast<QWidget*>(LoadButton),
          static_cast<QWidget*>(SaveButton), static_cast<QWidget*>(WriteButton), static_cast<QWidget*>(ReadButton),
          static_cast<QWidget*>(HelpButton), static_cast<QWidget*>(ExitButton)})
        order.push_back(w);
    for (QWidget* w : GroupBox3->tabOrder()) order.push_back(w);
    for (QWidget* w : GroupBox2->tabOrder()) order.push_back(w);
    order.push_back(LogMemo);
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
    createOptions();

    // The status line under the designed area and the options.
    statusLine_ = new StatusLine(this);
    statusLine_->setGeometry(0, kClientHeight + kOptionsHeight, kClientWidth, StatusLine::kHeight);
    resize(kClientWidth, kClientHeight + kOptionsHeight + StatusLine::kHeight);
}

void TMainForm::createOptions() {
    VerifyWritesCheckBox =
        design::Named(new QCheckBox(tr("Verify writes (read back and compare)"), this),
                      QStringLiteral("VerifyWritesCheckBox"), QRect(kMargin, kClientHeight, 260, 22));
    ReadMessagesCheckBox =
        design::Named(new QCheckBox(tr("Read messages too (firmware that serves them)"), this),
                      QStringLiteral("ReadMessagesCheckBox"), QRect(kMargin + 280, kClientHeight, 300, 22));
    BackupCheckBox = design::Named(new QCheckBox(tr("Back up before writing"), this), QStringLiteral("BackupCheckBox"),
                                   QRect(kMargin + 600, kClientHeight, 220, 22));
    // Read once; written only when a choice changes, and only through a settings file that is a file of its own.
    RememberedSettings remembered;
    VerifyWritesCheckBox->setChecked(remembered.value(QStringLiteral("verifyWrites"), false));
    ReadMessagesCheckBox->setChecked(remembered.value(QStringLiteral("readMessages"), false));
    BackupCheckBox->setChecked(remembered.value(QStringLiteral("backUpBeforeWriting"), true));
    const auto use = [this] {
        operations_.options.verifyWrites = VerifyWritesCheckBox->isChecked();
        operations_.options.readMessages = ReadMessagesCheckBox->isChecked();
    };
    use();
    const auto apply = [this, use] {
        use();
        RememberedSettings settings;
        settings.setValue(QStringLiteral("verifyWrites"), VerifyWritesCheckBox->isChecked());
        settings.setValue(QStringLiteral("readMessages"), ReadMessagesCheckBox->isChecked());
        settings.setValue(QStringLiteral("backUpBeforeWriting"), BackupCheckBox->isChecked());
    };
    for (QCheckBox* box : {VerifyWritesCheckBox, ReadMessagesCheckBox, BackupCheckBox})
        connect(box, &QCheckBox::toggled, this, apply);
    setTabOrder(LogMemo, VerifyWritesCheckBox);
    setTabOrder(VerifyWritesCheckBox, ReadMessagesCheckBox);
    setTabOrder(ReadMessagesCheckBox, BackupCheckBox);
}

void TMainForm::FormCreate() {
    setWindowTitle(
        QStringLiteral("%1 Interface Version %2").arg(QLatin1String(kProductName), QLatin1String(kVersionText)));
    operations_.OperationStep = osIdle;
    GroupBox3->BaudRateComboBox->setCurrentIndex(kDefaultBaudCode);
    operations_.KeyPollTicks = 0;
    store_.SetDefaultConfig(*this);
    SetupHelp();
}

// ---- Closing ----

void TMainForm::ExitButtonClick() {
    close();
}

bool TMainForm::FormCloseQuery() {
    return QueryClose(store_, *this, *sink_, *chooser_, files_);
}

void TMainForm::FormClose() {
    ReleaseHelp();
    // Nothing may tick, or reach the window from the device, once it has closed.
    Timer1->stop();
    ReleasePresence();
    link_.Stop();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Stopping the link now could leave the device half written: the close waits for the operation's end.
    if (operationUnderWay()) {
        closeAsked_ = true;
        statusLine_->showNote(lastStarted_ == OperationKind::Write || plannedWrite_
                                  ? tr("Closing once the write has finished...")
                                  : tr("Closing once the read has finished..."));
        event->ignore();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

// ---- Buttons, timer and legends ----

void TMainForm::LoadButtonClick() {
    LoadDataFile(store_, *this, *sink_, *chooser_, files_);
}

bool TMainForm::LoadFile(const QString& path) {
    return LoadFile(std::filesystem::path(path.toStdU16String()));
}

bool TMainForm::LoadFile(const std::filesystem::path& path) {
    return LoadDataFileFrom(path, store_, *this, *sink_, files_);
}

void TMainForm::SaveButtonClick() {
    SaveDataFile(store_, *this, *sink_, *chooser_, files_);
}

// A click that cannot start its operation now (a write or read is under way) changes nothing; one that can packs
// the window into the record and hands the operation a copy of it.
void TMainForm::WriteButtonClick() {
    if (operationUnderWay()) return;
    PackConfig(*this, store_.Config);
    StartWrite(store_.Config, operations_.options);
}

void TMainForm::ReadButtonClick() {
    if (operationUnderWay()) return;
    lastStarted_ = OperationKind::Read;
    operationOpen_ = true;
    if (!operations_.Read()) operationOpen_ = false;
}

void TMainForm::TestkeypadButtonClick() {
    if (operations_.testRunning() || operations_.testPending()) {
        operations_.StopKeypadTest();
        return;
    }
    if (operationUnderWay()) return;
    PackConfig(*this, store_.Config);
    operations_.StartKeypadTest(store_.Config);
}

// ---- Writing with a backup first ----

// With backups on, the write waits for a read of what the device holds (the messages too where the firmware serves
// them), and starts once that is kept; the read shows no box and no read-back of its own.
void TMainForm::StartWrite(const KeypadConfig& config, const OperationOptions& options) {
    plannedWrite_ = PlannedWrite{config, options};
    // A configuration the write refuses before sending anything needs no backup: the write says why at once.
    MessageBlock translated{};
    const bool refused =
        TranslateMessages(config.Messages, translated) >= 0 || config.Settings[kBaudCodeOffset] >= kBaudRates.size();
    if (!BackupCheckBox->isChecked() || refused) {
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

void TMainForm::BackupReadFinished(const Outcome& outcome) {
    backupReading_ = false;
    skipReadBack_ = outcome.ok();  // a completed read shows its read-back after its outcome
    const DeviceBackup backup = BackUpReading(outcome);
    if (!backup.error.empty()) {
        plannedWrite_.reset();
        sink_->showError(u"No backup of the device's configuration could be made:\r\n" + backup.error +
                         u"\r\nNothing was written. Untick \"Back up before writing\" to write without one.");
        return;
    }
    if (backups_ && backups_->isVisible()) backups_->showBackups(lastSerial_);
    // The write starts once the read's own calls have returned.
    QMetaObject::invokeMethod(
        this, [this] { RunWrite(); }, Qt::QueuedConnection);
}

void TMainForm::RunWrite() {
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

bool TMainForm::operationUnderWay() const {
    return operationOpen_ || plannedWrite_.has_value();
}

void TMainForm::closeIfAsked() {
    if (!closeAsked_ || operationUnderWay()) return;
    closeAsked_ = false;
    statusLine_->showNote(QString());
    // Not from within the operation's own calls: the close stops the link.
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}

void TMainForm::openBackups() {
    if (!backups_) {
        backups_ = new BackupsDialog(this);
        connect(backups_, &BackupsDialog::writeBackRequested, this, &TMainForm::WriteBackup);
        connect(backups_, &BackupsDialog::loadRequested, this, [this](const QString& path) { LoadFile(path); });
    }
    backups_->showBackups(lastSerial_);
    backups_->show();
    backups_->raise();
    backups_->activateWindow();
}

void TMainForm::WriteBackup(const QString& path, bool settingsOnly) {
    if (operationUnderWay()) {
        sink_->showError(u"A write or read is under way: write the backup back once it has finished.");
        return;
    }
    const std::filesystem::path file(path.toStdU16String());
    const std::optional<std::vector<std::uint8_t>> bytes = files_.read(file, 2 * kDataFileSize);
    const DecodeResult decoded =
        bytes ? DecodeDataFile(bytes->data(), bytes->size()) : DecodeResult(u"Cannot read " + file.u16string());
    if (const auto* error = std::get_if<std::u16string>(&decoded)) {
        sink_->showError(*error);
        return;
    }
    if (settingsOnly &&
        sink_->askYesNoCancel(u"This backup holds the device's settings only: the firmware did not serve its "
                              u"messages, so the backup's messages are the defaults.\r\nWrite it back, these "
                              u"messages too?") != Answer::Yes)
        return;
    StartWrite(std::get<KeypadConfig>(decoded), OperationOptions{true, true});
}

void TMainForm::Timer1Timer() {
    operations_.Timer1Timer();
}

void TMainForm::SwitchEditChange(int legendIndex) {
    GroupBox2->OutStringLabels[legendIndex]->setText(GroupBox1->SwitchEdits[legendIndex]->text());
}

// ---- Help ----

void TMainForm::SetupHelp() {
    const QString folder = programFolder_.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder_;
    HelpFilePath = QDir::cleanPath(QDir(folder).absoluteFilePath(QLatin1String(kHelpFileName)));
#ifdef QB_INSTALLED_HELP_DIR
    // Installed, the help file is with the program's other data rather than beside it.
    const QString installed = QDir::cleanPath(
        QDir(folder).absoluteFilePath(QStringLiteral(QB_INSTALLED_HELP_DIR "/") + QLatin1String(kHelpFileName)));
    if (!QFileInfo(HelpFilePath).isFile() && QFileInfo(installed).isFile()) HelpFilePath = installed;
#endif
    if (!QFileInfo(HelpFilePath).isFile() || !help::LoadHelpViewer()) {
        HelpButton->hide();
        return;
    }
    help::Initialize(HelpCookie);
}

void TMainForm::HelpButtonClick() {
    help::DisplayTopic(HelpFilePath);
}

void TMainForm::ReleaseHelp() {
    // The button is visible exactly when set-up succeeded.
    if (HelpButton->isHidden()) return;
    help::CloseAll();
    if (help::HelpLibraryLoaded()) {
        help::Uninitialize(HelpCookie);
        help::UnloadHelpViewer();
    }
}

// ---- ConfigView ----

int TMainForm::columnLine(int column) const {
    return GroupBox1->CSpinEdits.at(column)->value();
}

void TMainForm::setColumnLine(int column, int value) {
    GroupBox1->CSpinEdits.at(column)->setValue(value);
}

int TMainForm::rowLine(int row) const {
    return GroupBox1->RowCSpinEdits.at(row)->value();
}

void TMainForm::setRowLine(int row, int value) {
    GroupBox1->RowCSpinEdits.at(row)->setValue(value);
}

std::u16string TMainForm::legendText(int legendIndex) const {
    return GroupBox1->SwitchEdits.at(legendIndex)->text().toStdU16String();
}

void TMainForm::setLegendText(int legendIndex, const std::u16string& text) {
    // textChanged runs the change handler, as typing does.
    GroupBox1->SwitchEdits.at(legendIndex)->setText(QString::fromStdU16String(text));
}

std::u16string TMainForm::messageText(int legendIndex) const {
    return GroupBox2->OutStringEdits.at(legendIndex)->text().toStdU16String();
}

void TMainForm::setMessageText(int legendIndex, const std::u16string& text) {
    GroupBox2->OutStringEdits.at(legendIndex)->setText(QString::fromStdU16String(text));
}

int TMainForm::baudIndex() const {
    return GroupBox3->BaudRateComboBox->currentIndex();
}

void TMainForm::setBaudIndex(int index) {
    QComboBox* list = GroupBox3->BaudRateComboBox;
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

QRadioButton* TMainForm::radio(RadioButton button) const {
    switch (button) {
        case RadioButton::NoParity:
            return GroupBox3->NoParityRadioButton;
        case RadioButton::EvenParity:
            return GroupBox3->EvenParityRadioButton;
        case RadioButton::OddParity:
            return GroupBox3->OddParityRadioButton;
        case RadioButton::StopBit1:
            return GroupBox3->StopBitRadioButton1;
        case RadioButton::StopBit2:
            return GroupBox3->StopBitRadioButton2;
    }
    return GroupBox3->NoParityRadioButton;
}

bool TMainForm::isChecked(RadioButton button) const {
    return radio(button)->isChecked();
}

void TMainForm::check(RadioButton button) {
    radio(button)->setChecked(true);
}

// ---- OperationsUi ----

void TMainForm::clearLog() {
    LogMemo->clear();
}

void TMainForm::addLogLine(const std::u16string& line) {
    LogMemo->appendPlainText(QString::fromStdU16String(line));
}

void TMainForm::showKey(int legendIndex) {
    for (int i = 0; i < kKeyCount; ++i) {
        QLineEdit* edit = GroupBox1->SwitchEdits[i];
        const QColor wanted =
            i == legendIndex ? kLitKeyColour : QApplication::palette(edit).color(QPalette::Active, QPalette::Base);
        if (edit->palette().color(QPalette::Base) == wanted) continue;
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, wanted);
        edit->setPalette(palette);
    }
}

void TMainForm::setTestButtonCaption(const std::u16string& caption) {
    GroupBox1->TestkeypadButton->setText(QString::fromStdU16String(caption));
}

void TMainForm::showError(const std::u16string& text) {
    if (!backupReading_) sink_->showError(text);
}

void TMainForm::showInformation(const std::u16string& text) {
    if (!backupReading_) sink_->showInformation(text);
}

void TMainForm::showReadBack(const DeviceImage& device) {
    if (std::exchange(skipReadBack_, false)) return;
    lastRead_ = device;
    KeypadConfig shown = store_.Config;  // the record itself is not packed by a read
    PackConfig(*this, shown);
    if (!readBack_) {
        readBack_ = new ReadBackWindow(this);
        connect(readBack_, &ReadBackWindow::takeOverRequested, this, &TMainForm::TakeOverDeviceValues);
    }
    readBack_->show(CompareWithDevice(shown, device));
}

void TMainForm::TakeOverDeviceValues() {
    // Unsaved edits are about to be replaced: the same question as at closing.
    if (!QueryClose(store_, *this, *sink_, *chooser_, files_)) return;
    const std::vector<char> kept = qb::TakeOverDeviceValues(lastRead_, store_.Config);
    UnpackConfig(store_.Config, *this);
    if (readBack_) readBack_->close();
    if (!kept.empty()) {
        std::u16string keys;
        for (char key : kept) keys += (keys.empty() ? u"" : u", ") + std::u16string(1, char16_t(key));
        sink_->showInformation(u"The device's messages for keys " + keys +
                               u" are longer than 63 characters when written with escapes;\r\nthe window keeps "
                               u"its own messages for them.");
    }
}

void TMainForm::showProgress(const Progress& progress) {
    statusLine_->showProgress(progress.done, progress.planned, lastStarted_ == OperationKind::Write);
}

void TMainForm::finished(const Outcome& outcome) {
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

void TMainForm::setBusy(bool busy) {
    deviceBusy_ = busy;
    updateDeviceButtons();
}

// From the click to the end of its write, a write with its backup holds the buttons as one operation.
void TMainForm::updateDeviceButtons() {
    const bool locked = deviceBusy_ || operationUnderWay();
    WriteButton->setEnabled(!locked);
    ReadButton->setEnabled(!locked);
    GroupBox1->TestkeypadButton->setEnabled(!locked);
    // The backup and its write go to one device.
    statusLine_->setChoiceLocked(locked || Timer1->isActive());
}

}  // namespace qb
