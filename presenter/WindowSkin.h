// What the window's presenter needs of a toolkit: its controls by name (the designed objectNames), its boxes and
// file dialogs, the 50 ms timer, the hand-off to the window's thread, and the windows beside the main one. A skin
// (Qt's, Win32's, a test's) builds the controls, forwards their events to the presenter and does what it is told;
// it decides nothing itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/FileFlows.h"
#include "config/UserSink.h"
#include "device/Dispatcher.h"

namespace qb {

struct Comparison;
class HelpViewer;

struct Colour {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Colour&) const = default;
};
inline constexpr Colour kLitKeyColour{0, 255, 0};

class WindowSkin {
public:
    virtual ~WindowSkin() = default;

    // ---- Controls by name ----
    // An edit's or a label's text, a button's or a check box's caption, the memo's whole text.
    virtual std::u16string text(std::string_view control) const = 0;
    // Setting a legend edit's text runs the presenter's SwitchEditChange, as typing does.
    virtual void setText(std::string_view control, const std::u16string& text) = 0;
    // Adds a line at the end of a multi-line text (LogMemo).
    virtual void appendLine(std::string_view control, const std::u16string& line) = 0;
    // A spin editor's value; a list's selected entry (-1 for none). Setting an index outside the list clears
    // the selection; a spin editor keeps its value within its range.
    virtual int value(std::string_view control) const = 0;
    virtual void setValue(std::string_view control, int value) = 0;
    // Radio buttons and check boxes. Checking a radio button clears the others of its group.
    virtual bool checked(std::string_view control) const = 0;
    virtual void setChecked(std::string_view control, bool checked) = 0;
    virtual void setEnabled(std::string_view control, bool enabled) = 0;
    virtual void setVisible(std::string_view control, bool visible) = 0;
    virtual bool visible(std::string_view control) const = 0;
    // An edit's background; none returns it to the window colour.
    virtual void setColour(std::string_view control, std::optional<Colour> colour) = 0;
    // A list's entries and the one selected (the status line's device chooser).
    virtual void setItems(std::string_view control, const std::vector<std::u16string>& items, int selected) = 0;

    // ---- The window ----
    virtual void setCaption(const std::u16string& caption) = 0;
    // Asks the window to close: the skin then calls MainPresenter::CloseRequested, as for the close box.
    virtual void requestClose() = 0;

    // ---- The user ----
    virtual UserSink& boxes() = 0;
    virtual FileChooser& fileChooser() = 0;

    // ---- Time and threads ----
    // The 50 ms timer whose ticks the skin hands to MainPresenter::Timer1Timer.
    virtual void setTimerRunning(bool running) = 0;
    virtual bool timerRunning() const = 0;
    // Runs work on the window's thread, later; work queued when the window is gone is dropped.
    virtual Dispatcher& dispatcher() = 0;

    // ---- Platform services ----
    virtual HelpViewer& helpViewer() = 0;
    // The remembered options (verify writes, read messages, back up before writing).
    virtual bool rememberedOption(std::string_view key, bool fallback) = 0;
    virtual void rememberOption(std::string_view key, bool value) = 0;

    // ---- Windows beside the main one; a skin without them leaves these as they are ----
    // The read-back window after "Read From VELMORA"; its take-over button calls TakeOverDeviceValues.
    virtual void showReadBack(const Comparison& comparison) { (void)comparison; }
    virtual void closeReadBack() {}
    // The backups of the device with this serial number (all when none); refreshed when `onlyIfOpen` and open.
    virtual void showBackups(const std::optional<std::string>& serial, bool onlyIfOpen) {
        (void)serial;
        (void)onlyIfOpen;
    }
    virtual void openSerialMonitor() {}
    virtual void closeSerialMonitor() {}
};

}  // namespace qb
