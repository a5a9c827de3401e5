// A skin without a toolkit: the designed controls as plain state, the boxes and file dialogs scripted, the timer a
// flag, the window's thread the test's own (a queue the test pumps). Asking for a control the window does not have
// fails the test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "config/KeyTable.h"
#include "device/QueueDispatcher.h"
#include "presenter/HelpViewer.h"
#include "presenter/MainPresenter.h"
#include "presenter/WindowSkin.h"
#include "protocol/DeviceImage.h"
#include "tests/support/FakeSink.h"
#include "tests/support/WindowFakes.h"

namespace qb::test {

inline void SetEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

class FakeHelpViewer : public HelpViewer {
public:
    bool available = true;
    bool loaded = false;
    int initialized = 0, uninitialized = 0, closedAll = 0;
    std::vector<std::filesystem::path> shown;
    bool LoadHelpViewer() override { return loaded = available; }
    bool HelpLibraryLoaded() const override { return loaded; }
    void UnloadHelpViewer() override { loaded = false; }
    void Initialize(std::uint32_t& cookie) override {
        ++initialized;
        cookie = 42;
    }
    void Uninitialize(std::uint32_t cookie) override { uninitialized += cookie == 42; }
    void DisplayTopic(const std::filesystem::path& file) override { shown.push_back(file); }
    void CloseAll() override { ++closedAll; }
};

class FakeSkin : public WindowSkin {
public:
    struct Control {
        std::u16string text;
        int value = 0;
        int minimum = -1, maximum = -1;  // a spin editor's range; a list's entries are `items`
        bool checked = false, enabled = true, shown = true;
        std::optional<Colour> colour;
        std::vector<std::u16string> items;
        std::string group;  // radio buttons: checking one clears the group's others
    };

    FakeSkin() {
        for (const KeyInfo& key : kKeys) {
            const std::u16string name(1, char16_t(key.legend));
            add(KeyControl("SwitchEdit", key)).text = name;
            add(KeyControl("OutStringLabel", key)).text = name;
            add(KeyControl("OutStringEdit", key)).text = name;
        }
        for (int i = 1; i <= 4; ++i) {
            spin("RowCSpinEdit" + std::to_string(i), 4 + i);
            spin("CSpinEdit" + std::to_string(i), i);
        }
        Control& baud = add("BaudRateComboBox");
        baud.value = -1;
        baud.items = {u"1200", u"2400", u"4800", u"9600", u"19200", u"38400", u"57600"};
        for (const char* name : {"StopBitRadioButton1", "StopBitRadioButton2"}) add(name).group = "stop";
        for (const char* name : {"NoParityRadioButton", "EvenParityRadioButton", "OddParityRadioButton"})
            add(name).group = "parity";
        at("StopBitRadioButton1").checked = at("NoParityRadioButton").checked = true;
        add("TestkeypadButton").text = u"Test Keypad";
        for (const char* name : {"LoadButton", "SaveButton", "WriteButton", "ReadButton", "HelpButton", "ExitButton",
                                 "LogMemo", "VerifyWritesCheckBox", "ReadMessagesCheckBox", "BackupCheckBox",
                                 "PresenceText", "DeviceChooser", "ProgressText", "NoteText"})
            add(name);
    }

    Control& at(std::string_view name) {
        const auto found = controls_.find(name);
        if (found == controls_.end()) throw std::out_of_range("no control " + std::string(name));
        return found->second;
    }
    const Control& at(std::string_view name) const { return const_cast<FakeSkin*>(this)->at(name); }

    // As the user does it: the presenter hears of it as from the toolkit.
    void type(std::string_view name, const std::u16string& text) { setText(name, text); }
    void tick(std::string_view box, bool on) { setChecked(box, on); }

    // WindowSkin.
    std::u16string text(std::string_view name) const override { return at(name).text; }
    void setText(std::string_view name, const std::u16string& text) override {
        Control& c = at(name);
        const bool changed = c.text != text;
        c.text = text;
        for (const KeyInfo& key : kKeys)
            if (changed && name == KeyControl("SwitchEdit", key) && presenter)
                presenter->SwitchEditChange(key.legendIndex);
    }
    void appendLine(std::string_view name, const std::u16string& line) override {
        Control& c = at(name);
        c.text += (c.text.empty() ? u"" : u"\n") + line;
    }
    int value(std::string_view name) const override { return at(name).value; }
    void setValue(std::string_view name, int value) override {
        Control& c = at(name);
        if (c.minimum >= 0)
            c.value = std::clamp(value, c.minimum, c.maximum);
        else
            c.value = value >= 0 && value < int(c.items.size()) ? value : -1;
    }
    bool checked(std::string_view name) const override { return at(name).checked; }
    void setChecked(std::string_view name, bool checked) override {
        Control& c = at(name);
        if (checked && !c.group.empty())
            for (auto& [other, state] : controls_)
                if (state.group == c.group) state.checked = false;
        const bool toggled = c.checked != checked;
        c.checked = checked;
        // A check box tells of every change, also one the program makes.
        if (toggled && name.ends_with("CheckBox") && presenter) presenter->OptionChanged();
    }
    void setEnabled(std::string_view name, bool enabled) override { at(name).enabled = enabled; }
    void setVisible(std::string_view name, bool shown) override { at(name).shown = shown; }
    bool visible(std::string_view name) const override { return at(name).shown; }
    void setColour(std::string_view name, std::optional<Colour> colour) override { at(name).colour = colour; }
    void setItems(std::string_view name, const std::vector<std::u16string>& items, int selected) override {
        at(name).items = items;
        at(name).value = selected;
    }
    void setCaption(const std::u16string& text) override { caption = text; }
    void requestClose() override {
        ++closeRequests;
        if (!closed && presenter) closed = presenter->CloseRequested();
    }
    UserSink& boxes() override { return sink; }
    FileChooser& fileChooser() override { return chooser; }
    void setTimerRunning(bool running) override { timer = running; }
    bool timerRunning() const override { return timer; }
    Dispatcher& dispatcher() override { return queue; }
    HelpViewer& helpViewer() override { return help; }
    bool rememberedOption(std::string_view key, bool fallback) override {
        const auto found = remembered.find(std::string(key));
        return found == remembered.end() ? fallback : found->second;
    }
    void rememberOption(std::string_view key, bool value) override { remembered[std::string(key)] = value; }
    void showReadBack(const Comparison& comparison) override { readBack = comparison; }
    void closeReadBack() override { readBack.reset(); }
    void showBackups(const std::optional<std::string>& serial, bool onlyIfOpen) override {
        backupsShown.push_back({serial, onlyIfOpen});
    }

    MainPresenter* presenter = nullptr;
    std::u16string caption;
    FakeSink sink;
    ScriptedChooser chooser;
    QueueDispatcher queue;
    FakeHelpViewer help;
    std::map<std::string, bool> remembered;
    bool timer = false;
    bool closed = false;
    int closeRequests = 0;
    std::optional<Comparison> readBack;
    std::vector<std::pair<std::optional<std::string>, bool>> backupsShown;

private:
    Control& add(const std::string& name) { return controls_[name]; }
    void spin(const std::string& name, int value) {
        Control& c = add(name);
        c.value = value;
        c.minimum = 1;
        c.maximum = 8;
    }
    std::map<std::string, Control, std::less<>> controls_;
};

}  // namespace qb::test
