#include "gui/Mainunit.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>

#include "config/ConfigTransfer.h"
#include "gui/BackupsDialog.h"
#include "gui/CursorBlinkLimit.h"
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

// The window, in pixels at 96 dpi: a client area of 882 x 599; the keypad top left, the buttons beside it, the
// serial settings top right with the device information under them, the messages along the bottom.
constexpr int kClientWidth = 882, kClientHeight = 599;
constexpr int kMargin = 28, kTop = 24;
constexpr int kButtonX = 456, kButtonW = 113, kButtonH = 25, kButtonPitch = 40;
constexpr int kOptionsHeight = 28;

QString Q(std::string_view name) {
    return QString::fromUtf8(name.data(), qsizetype(name.size()));
}

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

}  // namespace

// ---- The help viewer ----

#ifndef _WIN32
bool QtHelpViewer::LoadHelpViewer() {
    return help::LoadHelpViewer();
}
bool QtHelpViewer::HelpLibraryLoaded() const {
    return help::HelpLibraryLoaded();
}
void QtHelpViewer::UnloadHelpViewer() {
    help::UnloadHelpViewer();
}
void QtHelpViewer::Initialize(std::uint32_t& cookie) {
    help::Initialize(cookie);
}
void QtHelpViewer::Uninitialize(std::uint32_t cookie) {
    help::Uninitialize(cookie);
}
void QtHelpViewer::DisplayTopic(const std::filesystem::path& helpFile) {
    help::DisplayTopic(QString::fromStdU16String(helpFile.u16string()));
}
void QtHelpViewer::CloseAll() {
    help::CloseAll();
}
#endif

// ---- The window ----

TMainForm::TMainForm(Transport& transport, const QString& programFolder, QWidget* parent) : QWidget(parent) {
    createControls();
    const QString folder = programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder;
    presenter_ = std::make_unique<MainPresenter>(*this, transport, std::filesystem::path(folder.toStdU16String()));
    connectControls();
    presenter_->FormCreate();
    presenter_->startPresence();
    new CursorBlinkLimit(this);
}

TMainForm::~TMainForm() {
    presenter_.reset();
}

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

    for (QWidget* widget : findChildren<QWidget*>())
        if (!widget->objectName().isEmpty()) controls_[widget->objectName().toStdString()] = widget;
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
    setTabOrder(LogMemo, VerifyWritesCheckBox);
    setTabOrder(VerifyWritesCheckBox, ReadMessagesCheckBox);
    setTabOrder(ReadMessagesCheckBox, BackupCheckBox);
}

void TMainForm::connectControls() {
    MainPresenter* p = presenter_.get();
    for (const KeyInfo& key : kKeys) {
        const int index = key.legendIndex;
        connect(GroupBox1->SwitchEdits[index], &QLineEdit::textChanged, this,
                [p, index] { p->SwitchEditChange(index); });
    }
    connect(LoadButton, &QPushButton::clicked, this, [p] { p->LoadButtonClick(); });
    connect(SaveButton, &QPushButton::clicked, this, [p] { p->SaveButtonClick(); });
    connect(WriteButton, &QPushButton::clicked, this, [p] { p->WriteButtonClick(); });
    connect(ReadButton, &QPushButton::clicked, this, [p] { p->ReadButtonClick(); });
    connect(GroupBox1->TestkeypadButton, &QPushButton::clicked, this, [p] { p->TestkeypadButtonClick(); });
    connect(HelpButton, &QPushButton::clicked, this, [p] { p->HelpButtonClick(); });
    connect(ExitButton, &QPushButton::clicked, this, [p] { p->ExitButtonClick(); });
    connect(Timer1, &QTimer::timeout, this, [p] { p->Timer1Timer(); });
    for (QCheckBox* box : {VerifyWritesCheckBox, ReadMessagesCheckBox, BackupCheckBox})
        connect(box, &QCheckBox::toggled, this, [p] { p->OptionChanged(); });
    connect(statusLine_, &StatusLine::deviceChosen, this, [p](int index) { p->DeviceChosen(index); });
    connect(statusLine_, &StatusLine::monitorRequested, this, &TMainForm::openSerialMonitor);
    connect(statusLine_, &StatusLine::backupsRequested, this, [p] { p->BackupsButtonClick(); });
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (presenter_->CloseRequested())
        event->accept();
    else
        event->ignore();
}

void TMainForm::requestClose() {
    close();
}

void TMainForm::setCaption(const std::u16string& caption) {
    setWindowTitle(Q(caption));
}

// ---- Controls by name ----

QWidget* TMainForm::named(std::string_view control) const {
    const auto found = controls_.find(control);
    if (found == controls_.end()) qFatal("no control %s", qPrintable(Q(control)));
    return found->second;
}

std::u16string TMainForm::text(std::string_view control) const {
    QWidget* w = named(control);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdU16String();
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdU16String();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text().toStdU16String();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) return memo->toPlainText().toStdU16String();
    if (auto* list = qobject_cast<QComboBox*>(w)) return list->currentText().toStdU16String();
    return w->windowTitle().toStdU16String();
}

void TMainForm::setText(std::string_view control, const std::u16string& text) {
    QWidget* w = named(control);
    // An edit's textChanged runs the presenter's change handler, as typing does.
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(Q(text));
    else if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(Q(text));
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(Q(text));
    else if (auto* memo = qobject_cast<QPlainTextEdit*>(w))
        memo->setPlainText(Q(text));
}

void TMainForm::appendLine(std::string_view control, const std::u16string& line) {
    if (auto* memo = qobject_cast<QPlainTextEdit*>(named(control))) memo->appendPlainText(Q(line));
}

int TMainForm::value(std::string_view control) const {
    QWidget* w = named(control);
    if (auto* spin = qobject_cast<QSpinBox*>(w)) return spin->value();
    if (auto* list = qobject_cast<QComboBox*>(w)) return list->currentIndex();
    return 0;
}

void TMainForm::setValue(std::string_view control, int value) {
    QWidget* w = named(control);
    if (auto* spin = qobject_cast<QSpinBox*>(w)) spin->setValue(value);
    if (auto* list = qobject_cast<QComboBox*>(w))
        list->setCurrentIndex(value >= 0 && value < list->count() ? value : -1);
}

bool TMainForm::checked(std::string_view control) const {
    auto* button = qobject_cast<QAbstractButton*>(named(control));
    return button && button->isChecked();
}

void TMainForm::setChecked(std::string_view control, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(named(control))) button->setChecked(checked);
}

void TMainForm::setEnabled(std::string_view control, bool enabled) {
    named(control)->setEnabled(enabled);
}

void TMainForm::setVisible(std::string_view control, bool visible) {
    named(control)->setVisible(visible);
}

bool TMainForm::visible(std::string_view control) const {
    return !named(control)->isHidden();
}

void TMainForm::setColour(std::string_view control, std::optional<Colour> colour) {
    QWidget* w = named(control);
    const QColor wanted = colour ? QColor(colour->red, colour->green, colour->blue)
                                 : QApplication::palette(w).color(QPalette::Active, QPalette::Base);
    if (w->palette().color(QPalette::Base) == wanted) return;
    QPalette palette = w->palette();
    palette.setColor(QPalette::Base, wanted);
    w->setPalette(palette);
}

void TMainForm::setItems(std::string_view control, const std::vector<std::u16string>& items, int selected) {
    auto* list = qobject_cast<QComboBox*>(named(control));
    if (!list) return;
    const QSignalBlocker quiet(list);
    list->clear();
    for (const std::u16string& item : items) list->addItem(Q(item));
    list->setCurrentIndex(selected);
}

// ---- Time, options ----

void TMainForm::setTimerRunning(bool running) {
    if (running)
        Timer1->start();
    else
        Timer1->stop();
}

bool TMainForm::timerRunning() const {
    return Timer1->isActive();
}

bool TMainForm::rememberedOption(std::string_view key, bool fallback) {
    return RememberedSettings().value(Q(key), fallback);
}

void TMainForm::rememberOption(std::string_view key, bool value) {
    RememberedSettings().setValue(Q(key), value);
}

// ---- The windows beside the main one ----

void TMainForm::showReadBack(const Comparison& comparison) {
    if (!readBack_) {
        readBack_ = new ReadBackWindow(this);
        connect(readBack_, &ReadBackWindow::takeOverRequested, this, [this] { presenter_->TakeOverDeviceValues(); });
    }
    readBack_->show(comparison);
}

void TMainForm::closeReadBack() {
    if (readBack_) readBack_->close();
}

void TMainForm::showBackups(const std::optional<std::string>& serial, bool onlyIfOpen) {
    if (onlyIfOpen) {
        if (backups_ && backups_->isVisible()) backups_->showBackups(serial);
        return;
    }
    if (!backups_) {
        backups_ = new BackupsDialog(this);
        connect(backups_, &BackupsDialog::writeBackRequested, this, [this](const QString& path, bool settingsOnly) {
            presenter_->WriteBackup(ToPath(path), settingsOnly);
        });
        connect(backups_, &BackupsDialog::loadRequested, this,
                [this](const QString& path) { presenter_->LoadFile(ToPath(path)); });
    }
    backups_->showBackups(serial);
    backups_->show();
    backups_->raise();
    backups_->activateWindow();
}

void TMainForm::addMonitorPort(const QString& name, const QString& description) {
    monitorPorts_.append({name, description});
    if (monitor_) monitor_->addPort(name, description);
}

SerialMonitor* TMainForm::serialMonitor() {
    if (monitor_) return monitor_.get();
    const auto format = [this] {
        MonitorFormat f;
        const int baud = presenter_->baudIndex();
        if (baud >= 0 && baud < static_cast<int>(kBaudRates.size())) f.baudRate = QByteArray(kBaudRates[baud]).toInt();
        f.stopBits = presenter_->isChecked(RadioButton::StopBit2) ? QSerialPort::TwoStop : QSerialPort::OneStop;
        f.parity = presenter_->isChecked(RadioButton::EvenParity)  ? QSerialPort::EvenParity
                   : presenter_->isChecked(RadioButton::OddParity) ? QSerialPort::OddParity
                                                                   : QSerialPort::NoParity;
        return f;
    };
    // The keys as the window holds them now, each message translated as a write would send it.
    const auto keys = [this] {
        const KeypadConfig config = presenter_->windowConfig();
        MonitorKeys result;
        for (const KeyInfo& key : kKeys) {
            MonitorKey& k = result[key.legendIndex];
            k.legend = Q(presenter_->legendText(key.legendIndex));
            std::uint8_t translated[kSlotSize] = {};
            if (DecodeMessageEscapes(Slot(config.Messages, key.slot), translated))
                k.message = std::string(SlotText(translated));
        }
        return result;
    };
    monitor_ = std::make_unique<SerialMonitor>(format, keys);
    for (const auto& [name, description] : monitorPorts_) monitor_->addPort(name, description);
    return monitor_.get();
}

void TMainForm::openSerialMonitor() {
    SerialMonitor* monitor = serialMonitor();
    monitor->show();
    monitor->raise();
    monitor->activateWindow();
}

void TMainForm::closeSerialMonitor() {
    if (monitor_) monitor_->close();
}

}  // namespace qb
