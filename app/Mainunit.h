// The one window of the tool: the keypad definition, the serial settings, the sixteen key messages and the
// buttons that load, save, write, read and test them.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>

#include <QString>
#include <QStringList>
#include <QWidget>

#include "app/QtDispatcher.h"
#include "config/ConfigView.h"
#include "config/DataFile.h"
#include "config/KeyTable.h"
#include "config/KeypadConfig.h"
#include "device/DeviceLink.h"
#include "protocol/Operations.h"
#include "protocol/OperationsUi.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;

namespace qb {

class Transport;

inline constexpr char kApplicationTitle[] = "Quillanterbrooke";
inline constexpr char kHelpFileName[] = "quillanterbrooke.chm";

// What a file dialog offers: the extension a bare name gets and the filters, the first one selected.
struct FileDialogSettings {
    QString defaultExt;
    QStringList filters;
};

class TMainForm : public QWidget, public ConfigView, public OperationsUi, public FileChooser {
    Q_OBJECT

public:
    // `transport` is where the device is looked for. The help file is looked for in `programFolder`; empty
    // means the folder of the program file.
    explicit TMainForm(Transport& transport, const QString& programFolder = QString(), QWidget* parent = nullptr);
    ~TMainForm() override;

    // Replacements for the message boxes, the file dialogs and the disk; nullptr restores the real ones.
    void setUserSink(UserSink* sink) { sinkOverride_ = sink; }
    void setFileChooser(FileChooser* chooser) { chooserOverride_ = chooser; }
    void setFileAccess(FileAccess* files) { filesOverride_ = files; }

    DeviceOperations& operations() { return operations_; }
    DeviceLink& link() { return link_; }
    ConfigStore& store() { return store_; }
    QString helpFilePath() const { return HelpFilePath; }

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

    // UserSink: modal message boxes without a title of their own.
    void showError(const std::u16string& text) override;
    void showInformation(const std::u16string& text) override;
    Answer askYesNoCancel(const std::u16string& text) override;

    // OperationsUi.
    void clearLog() override;
    void addLogLine(const std::u16string& line) override;
    void showKey(int legendIndex) override;
    std::u16string testButtonCaption() const override;
    void setTestButtonCaption(const std::u16string& caption) override;
    void setBusy(bool busy) override;

    // FileChooser: OpenDialog1 and SaveDialog1.
    std::optional<std::filesystem::path> chooseFileToOpen() override;
    std::optional<std::filesystem::path> chooseFileToSave() override;

public slots:
    void LoadButtonClick();
    void SaveButtonClick();
    void WriteButtonClick();
    void ReadButtonClick();
    void TestkeypadButtonClick();
    void HelpButtonClick();
    void ExitButtonClick();
    void Timer1Timer();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void setTabOrders();
    void FormCreate();
    bool FormCloseQuery();
    void FormClose();
    void SetupHelp();
    void ReleaseHelp();
    // The change handler of every legend edit: the key's message label shows the legend's whole text.
    void SwitchEditChange(int legendIndex);
    QRadioButton* radio(RadioButton button) const;
    std::optional<std::filesystem::path> runFileDialog(const FileDialogSettings& settings, bool save);

    UserSink& sink() { return sinkOverride_ ? *sinkOverride_ : static_cast<UserSink&>(*this); }
    FileChooser& chooser() { return chooserOverride_ ? *chooserOverride_ : static_cast<FileChooser&>(*this); }
    FileAccess& files() { return filesOverride_ ? *filesOverride_ : diskFiles_; }

    // Controls. Per-key arrays are indexed by the key's row-major legendIndex.
    QGroupBox* GroupBox1 = nullptr;
    std::array<QLabel*, 8> Labels1to8{};  // Label1..Label4 "Row n", Label5..Label8 "Col n"
    QFrame* Panel1 = nullptr;
    std::array<QLineEdit*, kKeyCount> SwitchEdits{};
    std::array<QSpinBox*, 4> RowCSpinEdits{};
    std::array<QSpinBox*, 4> CSpinEdits{};
    QPushButton* TestkeypadButton = nullptr;
    QPushButton* LoadButton = nullptr;
    QPushButton* SaveButton = nullptr;
    QPushButton* WriteButton = nullptr;
    QPushButton* ExitButton = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QLabel* Label9 = nullptr;
    QComboBox* BaudRateComboBox = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    QRadioButton* StopBitRadioButton2 = nullptr;
    QRadioButton* StopBitRadioButton1 = nullptr;
    QGroupBox* GroupBox5 = nullptr;
    QRadioButton* NoParityRadioButton = nullptr;
    QRadioButton* EvenParityRadioButton = nullptr;
    QRadioButton* OddParityRadioButton = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    std::array<QLabel*, kKeyCount> OutStringLabels{};
    std::array<QLineEdit*, kKeyCount> OutStringEdits{};
    QTimer* Timer1 = nullptr;
    const FileDialogSettings SaveDialog1{QStringLiteral("dat"),
                                         {QStringLiteral("Data Files (*.dat)"), QStringLiteral("All Files (*)")}};
    const FileDialogSettings OpenDialog1{QStringLiteral("dat"),
                                         {QStringLiteral("Data files (*.dat)"), QStringLiteral("All files (*)")}};
    QPushButton* HelpButton = nullptr;
    QPushButton* ReadButton = nullptr;
    QPlainTextEdit* LogMemo = nullptr;

    // Help viewer state.
    QString HelpFilePath;
    std::uint32_t HelpCookie = 0;
    QString programFolder_;

    // The configuration and the device. The link is destroyed before the dispatcher it posts to.
    ConfigStore store_;
    DiskFileAccess diskFiles_;
    QtDispatcher dispatcher_;
    DeviceLink link_;
    DeviceOperations operations_;

    UserSink* sinkOverride_ = nullptr;
    FileChooser* chooserOverride_ = nullptr;
    FileAccess* filesOverride_ = nullptr;
};

// A name typed without an extension gets `.<defaultExt>`; a name with one is kept. For the open dialog an
// existing file of exactly the typed name is kept too.
std::filesystem::path WithDefaultExtension(const std::filesystem::path& chosen, const QString& defaultExt,
                                           bool keepExisting);

// "\r\n" and a lone "\r" become "\n": the tool's two-line texts show as two lines in a message box.
QString DisplayText(const std::u16string& text);

}  // namespace qb
