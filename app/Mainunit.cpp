#include "app/Mainunit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>

#include "app/HelpViewer.h"

namespace qb {

namespace {

constexpr char kVersionText[] = "1.00";
constexpr int kBaud19200Entry = 4;
const QColor kLitKeyColour(0, 255, 0);

// Window layout, in pixels at 96 dpi: a client area of 882 x 599.
constexpr int kClientWidth = 882;
constexpr int kClientHeight = 599;
constexpr int kMargin = 28;
constexpr int kTop = 24;
// "Define Keypad": the grid's cells are 64 px apart across and 44 px down.
constexpr int kPanelX = 116, kPanelY = 24, kPanelW = 265, kPanelH = 192;
constexpr int kCellLeft = 20, kCellTop = 16, kCellPitchX = 64, kCellPitchY = 44;
constexpr int kLegendW = 33, kLegendH = 28;
constexpr int kSpinW = 49, kSpinH = 22;
// Six buttons of 113 x 25 between the keypad and the serial settings.
constexpr int kButtonW = 113, kButtonH = 25, kButtonPitch = 40;
// "Serial Port Messages": four keys to a row.
constexpr int kMessageCellW = 200, kMessageRowPitch = 38, kMessageLabelW = 36, kMessageEditW = 150;

const QStringList kBaudRates{QStringLiteral("1200"), QStringLiteral("2400"),  QStringLiteral("4800"),
                             QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400"),
                             QStringLiteral("57600")};

// The window is laid out for Tahoma and MS Sans Serif. Where they are missing, narrow look-alikes keep the
// captions inside their controls; fonts that are installed are never replaced.
void installFontSubstitutes() {
    static const bool installed = [] {
        const QStringList narrow{QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow"),
                                 QStringLiteral("Liberation Sans"), QStringLiteral("Arial")};
        QFont::insertSubstitutions(QStringLiteral("Tahoma"), narrow);
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), narrow);
        return true;
    }();
    (void)installed;
}

QString keyName(const KeyInfo& key) {
    return QString(QLatin1Char(key.legend));
}

std::filesystem::path toPath(const QString& name) {
#ifdef _WIN32
    return std::filesystem::path(name.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(name).toStdString());
#endif
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

QGroupBox* makeGroup(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* group = new QGroupBox(caption, parent);
    group->setObjectName(QLatin1String(name));
    group->setGeometry(geometry);
    return group;
}

QRadioButton* makeRadio(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* radio = new QRadioButton(caption, parent);
    radio->setObjectName(QLatin1String(name));
    radio->setGeometry(geometry);
    return radio;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, QRect geometry,
                  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setAlignment(alignment);
    return label;
}

QSpinBox* makeLineSpin(QWidget* parent, const QString& name, const QString& accessibleName, int value, QRect geometry) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(1, 8);
    spin->setValue(value);
    spin->setGeometry(geometry);
    spin->setAccessibleName(accessibleName);
    return spin;
}

}  // namespace

std::filesystem::path WithDefaultExtension(const std::filesystem::path& chosen, const QString& defaultExt,
                                           bool keepExisting) {
    if (chosen.empty() || defaultExt.isEmpty() || chosen.has_extension()) return chosen;
    std::error_code ec;
    if (keepExisting && std::filesystem::exists(chosen, ec)) return chosen;
    std::filesystem::path result = chosen;
    result += toPath(QLatin1Char('.') + defaultExt);
    return result;
}

QString DisplayText(const std::u16string& text) {
    QString s = QString::fromStdU16String(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

TMainForm::TMainForm(Transport& transport, const QString& programFolder, QWidget* parent)
    : QWidget(parent),
      programFolder_(programFolder),
      link_(transport, dispatcher_),
      operations_(store_, *this, link_, *this) {
    createControls();
    FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::createControls() {
    setObjectName(QStringLiteral("MainForm"));
    installFontSubstitutes();
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    resize(kClientWidth, kClientHeight);

    // Define Keypad: the grid, the line selectors of its rows (left) and columns (below), the test button.
    GroupBox1 = makeGroup(this, "GroupBox1", tr("Define Keypad"), QRect(kMargin, kTop, 409, 321));
    auto rowCentre = [](int row) { return kPanelY + kCellTop + row * kCellPitchY + kLegendH / 2; };
    auto columnCentre = [](int column) { return kPanelX + kCellLeft + column * kCellPitchX + kLegendW / 2; };
    for (int row = 0; row < 4; ++row) {
        Labels1to8[row] = makeLabel(GroupBox1, QStringLiteral("Label%1").arg(row + 1), tr("Row %1").arg(row + 1),
                                    QRect(12, rowCentre(row) - 8, 40, 16));
    }
    for (int column = 0; column < 4; ++column) {
        Labels1to8[4 + column] =
            makeLabel(GroupBox1, QStringLiteral("Label%1").arg(5 + column), tr("Col %1").arg(column + 1),
                      QRect(columnCentre(column) - 24, kPanelY + kPanelH + 36, 48, 16), Qt::AlignCenter);
    }

    Panel1 = new QFrame(GroupBox1);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setGeometry(kPanelX, kPanelY, kPanelW, kPanelH);
    Panel1->setAccessibleName(QStringLiteral("Keypad"));

    // The grid edits are made column by column, the order the Tab key visits them.
    const QFont legendFont(QStringLiteral("MS Sans Serif"), 12);
    for (int slot = 0; slot < kKeyCount; ++slot) {
        const KeyInfo& key = KeyBySlot(slot);
        auto* edit = new QLineEdit(keyName(key), Panel1);
        edit->setObjectName(QStringLiteral("SwitchEdit") + QLatin1String(key.suffix));
        edit->setMaxLength(1);
        edit->setFont(legendFont);
        edit->setAlignment(Qt::AlignCenter);
        edit->setGeometry(kCellLeft + (key.column - 1) * kCellPitchX, kCellTop + (key.row - 1) * kCellPitchY, kLegendW,
                          kLegendH);
        edit->setAccessibleName(QStringLiteral("Legend of key %1").arg(keyName(key)));
        edit->setAccessibleDescription(QStringLiteral("Row %1, column %2").arg(key.row).arg(key.column));
        SwitchEdits[key.legendIndex] = edit;
    }
    for (int row = 0; row < 4; ++row) {
        RowCSpinEdits[row] = makeLineSpin(GroupBox1, QStringLiteral("RowCSpinEdit%1").arg(row + 1),
                                          QStringLiteral("Row %1 line").arg(row + 1), 5 + row,
                                          QRect(56, rowCentre(row) - kSpinH / 2, kSpinW, kSpinH));
        Labels1to8[row]->setBuddy(RowCSpinEdits[row]);
    }
    for (int column = 0; column < 4; ++column) {
        CSpinEdits[column] = makeLineSpin(
            GroupBox1, QStringLiteral("CSpinEdit%1").arg(column + 1), QStringLiteral("Column %1 line").arg(column + 1),
            1 + column, QRect(columnCentre(column) - kSpinW / 2, kPanelY + kPanelH + 10, kSpinW, kSpinH));
        Labels1to8[4 + column]->setBuddy(CSpinEdits[column]);
    }
    TestkeypadButton = makeButton(GroupBox1, "TestkeypadButton", QString::fromStdU16String(kTestKeypadCaption),
                                  QRect(12, 321 - 12 - kButtonH, kButtonW, kButtonH));

    // The button column.
    const int buttonX = kMargin + 409 + (kClientWidth - 2 * kMargin - 409 - 265 - kButtonW) / 2;
    auto buttonRect = [buttonX](int i) { return QRect(buttonX, kTop + 8 + i * kButtonPitch, kButtonW, kButtonH); };
    LoadButton = makeButton(this, "LoadButton", tr("Load File"), buttonRect(0));
    SaveButton = makeButton(this, "SaveButton", tr("Save File"), buttonRect(1));
    WriteButton = makeButton(this, "WriteButton", tr("Write To VELMORA"), buttonRect(2));
    ReadButton = makeButton(this, "ReadButton", tr("Read From VELMORA"), buttonRect(3));
    HelpButton = makeButton(this, "HelpButton", tr("Help"), buttonRect(4));
    ExitButton = makeButton(this, "ExitButton", tr("Exit"), buttonRect(5));

    // Serial Port Settings.
    const int serialX = kClientWidth - kMargin - 265;
    GroupBox3 = makeGroup(this, "GroupBox3", tr("Serial Port Settings"), QRect(serialX, kTop, 265, 185));
    Label9 = makeLabel(GroupBox3, QStringLiteral("Label9"), tr("Baud Rate"), QRect(16, 28, 64, 20));
    BaudRateComboBox = new QComboBox(GroupBox3);
    BaudRateComboBox->setObjectName(QStringLiteral("BaudRateComboBox"));
    BaudRateComboBox->setEditable(false);
    BaudRateComboBox->addItems(kBaudRates);
    BaudRateComboBox->setCurrentIndex(-1);  // the design selects none; FormCreate picks 19200
    BaudRateComboBox->setGeometry(88, 26, 97, 24);
    BaudRateComboBox->setAccessibleName(QStringLiteral("Baud rate"));
    Label9->setBuddy(BaudRateComboBox);
    GroupBox4 = makeGroup(GroupBox3, "GroupBox4", tr("Stop bits"), QRect(16, 64, 105, 105));
    StopBitRadioButton2 = makeRadio(GroupBox4, "StopBitRadioButton2", tr("2 Stop bits"), QRect(12, 52, 88, 20));
    StopBitRadioButton1 = makeRadio(GroupBox4, "StopBitRadioButton1", tr("1 Stop bit"), QRect(12, 26, 88, 20));
    StopBitRadioButton1->setChecked(true);
    GroupBox5 = makeGroup(GroupBox3, "GroupBox5", tr("Parity"), QRect(136, 64, 113, 105));
    NoParityRadioButton = makeRadio(GroupBox5, "NoParityRadioButton", tr("None"), QRect(12, 26, 90, 20));
    EvenParityRadioButton = makeRadio(GroupBox5, "EvenParityRadioButton", tr("Even"), QRect(12, 52, 90, 20));
    OddParityRadioButton = makeRadio(GroupBox5, "OddParityRadioButton", tr("Odd"), QRect(12, 78, 90, 20));
    NoParityRadioButton->setChecked(true);

    // Serial Port Messages: label and edit side by side, in the keypad's own layout.
    GroupBox2 = makeGroup(this, "GroupBox2", tr("Serial Port Messages"), QRect(kMargin, kTop + 321 + 24, 825, 193));
    const QFont labelFont(QStringLiteral("MS Sans Serif"), 8, QFont::Bold);
    for (const KeyInfo& key : kKeys) {
        const int x = 16 + (key.column - 1) * kMessageCellW;
        const int y = 30 + (key.row - 1) * kMessageRowPitch;
        auto* label = makeLabel(GroupBox2, QStringLiteral("OutStringLabel") + QLatin1String(key.suffix), keyName(key),
                                QRect(x, y, kMessageLabelW, 22), Qt::AlignRight | Qt::AlignVCenter);
        label->setFont(labelFont);
        label->setTextFormat(Qt::PlainText);
        OutStringLabels[key.legendIndex] = label;
    }
    for (const KeyInfo& key : kKeys) {
        const int x = 16 + (key.column - 1) * kMessageCellW + kMessageLabelW + 4;
        const int y = 30 + (key.row - 1) * kMessageRowPitch;
        auto* edit = new QLineEdit(keyName(key), GroupBox2);
        edit->setObjectName(QStringLiteral("OutStringEdit") + QLatin1String(key.suffix));
        edit->setMaxLength(static_cast<int>(kMaxMessageBytes));
        edit->setGeometry(x, y, kMessageEditW, 22);
        edit->setAccessibleName(QStringLiteral("Message of key %1").arg(keyName(key)));
        OutStringEdits[key.legendIndex] = edit;
        OutStringLabels[key.legendIndex]->setBuddy(edit);
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(50);

    // The device information, under the serial settings.
    LogMemo = new QPlainTextEdit(this);
    LogMemo->setObjectName(QStringLiteral("LogMemo"));
    LogMemo->setReadOnly(true);
    LogMemo->setGeometry(kClientWidth - kMargin - 185, kTop + 185 + 12, 185, 77);
    LogMemo->setAccessibleName(QStringLiteral("Device information"));
    QPalette memoPalette = LogMemo->palette();
    memoPalette.setColor(QPalette::Base, memoPalette.color(QPalette::Button));
    LogMemo->setPalette(memoPalette);

    // Wiring.
    for (const KeyInfo& key : kKeys) {
        const int index = key.legendIndex;
        connect(SwitchEdits[index], &QLineEdit::textChanged, this, [this, index] { SwitchEditChange(index); });
    }
    connect(LoadButton, &QPushButton::clicked, this, &TMainForm::LoadButtonClick);
    connect(SaveButton, &QPushButton::clicked, this, &TMainForm::SaveButtonClick);
    connect(WriteButton, &QPushButton::clicked, this, &TMainForm::WriteButtonClick);
    connect(ReadButton, &QPushButton::clicked, this, &TMainForm::ReadButtonClick);
    connect(TestkeypadButton, &QPushButton::clicked, this, &TMainForm::TestkeypadButtonClick);
    connect(HelpButton, &QPushButton::clicked, this, &TMainForm::HelpButtonClick);
    connect(ExitButton, &QPushButton::clicked, this, &TMainForm::ExitButtonClick);
    connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);

    setTabOrders();
    Timer1->start();
}

void TMainForm::setTabOrders() {
    // The grid column by column, its line selectors, the buttons, the serial settings, then the messages row
    // by row.
    std::vector<QWidget*> order;
    for (int slot = 0; slot < kKeyCount; ++slot) order.push_back(SwitchEdits[KeyBySlot(slot).legendIndex]);
    for (QSpinBox* spin : RowCSpinEdits) order.push_back(spin);
    for (QSpinBox* spin : CSpinEdits) order.push_back(spin);
    for (QWidget* w :
         std::initializer_list<QWidget*>{TestkeypadButton, LoadButton, SaveButton, WriteButton, ReadButton, HelpButton,
                                         ExitButton, BaudRateComboBox, StopBitRadioButton1, StopBitRadioButton2,
                                         NoParityRadioButton, EvenParityRadioButton, OddParityRadioButton})
        order.push_back(w);
    for (QLineEdit* edit : OutStringEdits) order.push_back(edit);
    order.push_back(LogMemo);
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void TMainForm::FormCreate() {
    setWindowTitle(
        QStringLiteral("%1 Interface Version %2").arg(QLatin1String(kProductName), QLatin1String(kVersionText)));
    operations_.OperationStep = osIdle;
    BaudRateComboBox->setCurrentIndex(kBaud19200Entry);
    operations_.KeyPollTicks = 0;
    store_.SetDefaultConfig(*this);
    SetupHelp();
}

// ---- Closing ----

void TMainForm::ExitButtonClick() {
    close();
}

bool TMainForm::FormCloseQuery() {
    return QueryClose(store_, *this, sink(), chooser(), files());
}

void TMainForm::FormClose() {
    ReleaseHelp();
    // Nothing may tick, or reach the window from the device, once it has closed.
    Timer1->stop();
    link_.Stop();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

// ---- Buttons and timer ----

void TMainForm::LoadButtonClick() {
    LoadDataFile(store_, *this, sink(), chooser(), files());
}

void TMainForm::SaveButtonClick() {
    SaveDataFile(store_, *this, sink(), chooser(), files());
}

void TMainForm::WriteButtonClick() {
    operations_.WriteButtonClick();
}

void TMainForm::ReadButtonClick() {
    operations_.ReadButtonClick();
}

void TMainForm::TestkeypadButtonClick() {
    operations_.TestkeypadButtonClick();
}

void TMainForm::Timer1Timer() {
    operations_.Timer1Timer();
}

void TMainForm::SwitchEditChange(int legendIndex) {
    OutStringLabels[legendIndex]->setText(SwitchEdits[legendIndex]->text());
}

// ---- Help ----

void TMainForm::SetupHelp() {
    const QString folder = programFolder_.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder_;
    HelpFilePath = QDir::cleanPath(QDir(folder).absoluteFilePath(QLatin1String(kHelpFileName)));
    if (!QFileInfo(HelpFilePath).isFile()) {
        HelpButton->hide();
        return;
    }
    if (!help::LoadHelpViewer()) {
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
    return CSpinEdits.at(column)->value();
}

void TMainForm::setColumnLine(int column, int value) {
    CSpinEdits.at(column)->setValue(value);
}

int TMainForm::rowLine(int row) const {
    return RowCSpinEdits.at(row)->value();
}

void TMainForm::setRowLine(int row, int value) {
    RowCSpinEdits.at(row)->setValue(value);
}

std::u16string TMainForm::legendText(int legendIndex) const {
    return SwitchEdits.at(legendIndex)->text().toStdU16String();
}

void TMainForm::setLegendText(int legendIndex, const std::u16string& text) {
    // textChanged runs the change handler, as typing does.
    SwitchEdits.at(legendIndex)->setText(QString::fromStdU16String(text));
}

std::u16string TMainForm::messageText(int legendIndex) const {
    return OutStringEdits.at(legendIndex)->text().toStdU16String();
}

void TMainForm::setMessageText(int legendIndex, const std::u16string& text) {
    OutStringEdits.at(legendIndex)->setText(QString::fromStdU16String(text));
}

int TMainForm::baudIndex() const {
    return BaudRateComboBox->currentIndex();
}

void TMainForm::setBaudIndex(int index) {
    BaudRateComboBox->setCurrentIndex(index >= 0 && index < BaudRateComboBox->count() ? index : -1);
}

QRadioButton* TMainForm::radio(RadioButton button) const {
    switch (button) {
        case RadioButton::NoParity:
            return NoParityRadioButton;
        case RadioButton::EvenParity:
            return EvenParityRadioButton;
        case RadioButton::OddParity:
            return OddParityRadioButton;
        case RadioButton::StopBit1:
            return StopBitRadioButton1;
        case RadioButton::StopBit2:
            return StopBitRadioButton2;
    }
    return NoParityRadioButton;
}

bool TMainForm::isChecked(RadioButton button) const {
    return radio(button)->isChecked();
}

void TMainForm::check(RadioButton button) {
    radio(button)->setChecked(true);
}

// ---- UserSink ----

void TMainForm::showError(const std::u16string& text) {
    if (sinkOverride_) return sinkOverride_->showError(text);
    QMessageBox box(QMessageBox::Critical, QString(), DisplayText(text), QMessageBox::Ok, this);
    box.exec();
}

void TMainForm::showInformation(const std::u16string& text) {
    if (sinkOverride_) return sinkOverride_->showInformation(text);
    QMessageBox box(QMessageBox::Information, QString(), DisplayText(text), QMessageBox::Ok, this);
    box.exec();
}

Answer TMainForm::askYesNoCancel(const std::u16string& text) {
    if (sinkOverride_) return sinkOverride_->askYesNoCancel(text);
    QMessageBox box(QMessageBox::Question, QString(), DisplayText(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Yes);
    // Dismissing the question (Esc, the close box) must not throw the changes away.
    box.setEscapeButton(QMessageBox::Cancel);
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        default:
            return Answer::No;
    }
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
        QLineEdit* edit = SwitchEdits[i];
        const QColor wanted =
            i == legendIndex ? kLitKeyColour : QApplication::palette(edit).color(QPalette::Active, QPalette::Base);
        if (edit->palette().color(QPalette::Base) == wanted) continue;
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, wanted);
        edit->setPalette(palette);
    }
}

std::u16string TMainForm::testButtonCaption() const {
    return TestkeypadButton->text().toStdU16String();
}

void TMainForm::setTestButtonCaption(const std::u16string& caption) {
    TestkeypadButton->setText(QString::fromStdU16String(caption));
}

void TMainForm::setBusy(bool busy) {
    WriteButton->setEnabled(!busy);
    ReadButton->setEnabled(!busy);
    TestkeypadButton->setEnabled(!busy);
}

// ---- FileChooser ----

std::optional<std::filesystem::path> TMainForm::chooseFileToOpen() {
    if (chooserOverride_) return chooserOverride_->chooseFileToOpen();
    return runFileDialog(OpenDialog1, false);
}

std::optional<std::filesystem::path> TMainForm::chooseFileToSave() {
    if (chooserOverride_) return chooserOverride_->chooseFileToSave();
    return runFileDialog(SaveDialog1, true);
}

std::optional<std::filesystem::path> TMainForm::runFileDialog(const FileDialogSettings& settings, bool save) {
    QFileDialog dialog(this);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A typed name need not exist when opening; saving replaces an existing file without asking.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(settings.filters);
    dialog.selectNameFilter(settings.filters.value(0));
    dialog.setDefaultSuffix(settings.defaultExt);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
    return WithDefaultExtension(toPath(chosen.first()), settings.defaultExt, !save);
}

}  // namespace qb
