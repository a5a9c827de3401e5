// TMainForm, the one window of the tool in Qt: the keypad definition, the serial settings, the sixteen key messages
// and the buttons that load, save, write, read and test them. The controls are built by the three group classes;
// what the window does is the presenter's (presenter/MainPresenter.h): this class hands it the controls' events and
// does what it says.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <QPointer>
#include <QString>
#include <QWidget>

#include "gui/QtDialogs.h"
#include "gui/QtDispatcher.h"
#include "presenter/HelpViewer.h"
#include "presenter/MainPresenter.h"
#include "presenter/WindowSkin.h"
#ifdef _WIN32
#include "win32/HtmlHelpViewer.h"
#endif

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
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

#ifndef _WIN32
// Our help window reading the compiled help file (or none) behind the presenter's interface; on Windows the
// system's HTML Help (HtmlHelpViewer) is used.
class QtHelpViewer : public HelpViewer {
public:
    bool LoadHelpViewer() override;
    bool HelpLibraryLoaded() const override;
    void UnloadHelpViewer() override;
    void Initialize(std::uint32_t& cookie) override;
    void Uninitialize(std::uint32_t cookie) override;
    void DisplayTopic(const std::filesystem::path& helpFile) override;
    void CloseAll() override;
};
#endif

class TMainForm : public QWidget, public WindowSkin {
    Q_OBJECT

public:
    // `transport` is where the device is looked for. The help file is looked for in `programFolder`; empty
    // means the folder of the program file.
    explicit TMainForm(Transport& transport, const QString& programFolder = QString(), QWidget* parent = nullptr);
    ~TMainForm() override;

    MainPresenter& presenter() { return *presenter_; }
    // The message boxes and the file dialogs are Qt's unless replaced (tests); nullptr restores them.
    void setUserSink(UserSink* sink) { sink_ = sink ? sink : &qtSink_; }
    void setFileChooser(FileChooser* chooser) { chooser_ = chooser ? chooser : &qtChooser_; }

    // Loads a data file chosen elsewhere (the command line), as Load File does with a chosen one. True if loaded.
    bool LoadFile(const std::filesystem::path& path) { return presenter_->LoadFile(path); }
    ConfigStore& store() { return presenter_->store(); }
    // Replaces the bus watcher chosen for the transport (tests, a traced simulated device).
    void setBusWatcher(std::unique_ptr<BusWatcher> watcher) { presenter_->startPresence(std::move(watcher)); }
    void chooseDevice(const std::string& key) { presenter_->chooseDevice(key); }
    // A port the serial monitor lists besides the system's (the simulated device's).
    void addMonitorPort(const QString& name, const QString& description);
    // Made at its first use.
    SerialMonitor* serialMonitor();

    // WindowSkin.
    using QWidget::setEnabled;
    using QWidget::setVisible;
    std::u16string text(std::string_view control) const override;
    void setText(std::string_view control, const std::u16string& text) override;
    void appendLine(std::string_view control, const std::u16string& line) override;
    int value(std::string_view control) const override;
    void setValue(std::string_view control, int value) override;
    bool checked(std::string_view control) const override;
    void setChecked(std::string_view control, bool checked) override;
    void setEnabled(std::string_view control, bool enabled) override;
    void setVisible(std::string_view control, bool visible) override;
    bool visible(std::string_view control) const override;
    void setColour(std::string_view control, std::optional<Colour> colour) override;
    void setItems(std::string_view control, const std::vector<std::u16string>& items, int selected) override;
    void setCaption(const std::u16string& caption) override;
    void requestClose() override;
    UserSink& boxes() override { return *sink_; }
    FileChooser& fileChooser() override { return *chooser_; }
    void setTimerRunning(bool running) override;
    bool timerRunning() const override;
    Dispatcher& dispatcher() override { return dispatcher_; }
    HelpViewer& helpViewer() override { return help_; }
    bool rememberedOption(std::string_view key, bool fallback) override;
    void rememberOption(std::string_view key, bool value) override;
    void showReadBack(const Comparison& comparison) override;
    void closeReadBack() override;
    void showBackups(const std::optional<std::string>& serial, bool onlyIfOpen) override;
    void openSerialMonitor() override;
    void closeSerialMonitor() override;

    // The handlers, as the controls call them.
    void LoadButtonClick() { presenter_->LoadButtonClick(); }
    void SaveButtonClick() { presenter_->SaveButtonClick(); }
    void WriteButtonClick() { presenter_->WriteButtonClick(); }
    void ReadButtonClick() { presenter_->ReadButtonClick(); }
    void TestkeypadButtonClick() { presenter_->TestkeypadButtonClick(); }
    void HelpButtonClick() { presenter_->HelpButtonClick(); }
    void ExitButtonClick() { presenter_->ExitButtonClick(); }
    void Timer1Timer() { presenter_->Timer1Timer(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createOptions();
    void connectControls();
    QWidget* named(std::string_view control) const;

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
    StatusLine* statusLine_ = nullptr;
    std::map<std::string, QWidget*, std::less<>> controls_;
    QPointer<ReadBackWindow> readBack_;
    QPointer<BackupsDialog> backups_;
    std::unique_ptr<SerialMonitor> monitor_;
    QList<QPair<QString, QString>> monitorPorts_;

    // The user, the dialogs, the help viewer.
    QtUserSink qtSink_{this};
    QtFileChooser qtChooser_{this};
    UserSink* sink_ = &qtSink_;
    FileChooser* chooser_ = &qtChooser_;
#ifdef _WIN32
    HtmlHelpViewer help_;
#else
    QtHelpViewer help_;
#endif
    // Destroyed after the presenter, whose link posts to it.
    QtDispatcher dispatcher_;
    std::unique_ptr<MainPresenter> presenter_;
};

}  // namespace qb
