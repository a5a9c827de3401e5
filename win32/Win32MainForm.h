// The window on Windows without a toolkit: the designed controls made with the system's own (names, places,
// fonts and tab order of the table in ControlTable), their events handed to the presenter, and the presenter's
// wishes carried out. It decides nothing itself.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "presenter/WindowSkin.h"
#include "win32/ControlTable.h"
#include "win32/HtmlHelpViewer.h"
#include "win32/Win32Dialogs.h"

namespace qb {

class MainPresenter;

namespace win32 {

// Work for the window's thread, from any thread: queued here, the window woken by a private message. Once the
// window is gone, queued and later work is dropped, never run.
class WindowDispatcher : public Dispatcher {
public:
    WindowDispatcher();
    void post(std::function<void()> work) override;
    void attach(HWND window);
    // On the window's thread, when woken. What a piece of work throws goes to `failed`.
    void runPending(const std::function<void(const std::u16string&)>& failed);
    void close();

private:
    struct Queue {
        std::mutex mutex;
        std::deque<std::function<void()>> work;
        HWND window = nullptr;
        bool woken = false;
        bool closed = false;
    };
    std::shared_ptr<Queue> queue_;
};

// The message that wakes the window for queued work.
inline constexpr UINT kRunQueuedWork = WM_APP + 1;
// For a program driving the window from outside (its tests): sent with a control's window as wParam, answers
// the background colour set on it (a COLORREF), or CLR_INVALID where none is set.
inline constexpr wchar_t kControlColourMessage[] = L"Quillanterbrooke.ControlColour";
inline constexpr wchar_t kMainWindowClass[] = L"QuillanterbrookeMainForm";

class Win32MainForm : public WindowSkin {
public:
    explicit Win32MainForm(HINSTANCE instance);
    ~Win32MainForm() override;
    Win32MainForm(const Win32MainForm&) = delete;
    Win32MainForm& operator=(const Win32MainForm&) = delete;

    HWND window() const { return window_; }
    // Events go to `presenter` from now on, the presenter's FormCreate among them; before, they are dropped.
    void attach(MainPresenter* presenter) { presenter_ = presenter; }
    void show(int showCommand);
    // Keyboard navigation (Tab, arrows in a radio group) for a message of the window; true if it was one.
    bool navigate(MSG& message);

    // ---- WindowSkin ----
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
    UserSink& boxes() override { return boxes_; }
    FileChooser& fileChooser() override { return chooser_; }
    void setTimerRunning(bool running) override;
    bool timerRunning() const override { return timerRunning_; }
    Dispatcher& dispatcher() override { return dispatcher_; }
    HelpViewer& helpViewer() override { return help_; }
    bool rememberedOption(std::string_view key, bool fallback) override;
    void rememberOption(std::string_view key, bool value) override;
    void showBackups(const std::optional<std::string>& serial, bool onlyIfOpen) override;
    // No window of its own: where the device differs from the window, a question whether to take its values.
    void showReadBack(const Comparison& comparison) override;

private:
    struct Control {
        const ControlDesign* design = nullptr;
        HWND hwnd = nullptr;
        HWND upDown = nullptr;  // spin editors
    };

    template <typename Window>
    friend LRESULT CALLBACK RouteToObject(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    void command(int id, int code);
    // Runs a presenter handler; what it throws is told in a box, never let through the system's frames.
    void forward(const std::function<void(MainPresenter&)>& handler);
    const Control* find(std::string_view name) const;
    HWND hwndOf(std::string_view name) const;
    HBRUSH brushFor(COLORREF colour);

    HINSTANCE instance_;
    HWND window_ = nullptr;
    MainPresenter* presenter_ = nullptr;
    std::map<std::string, Control, std::less<>> controls_;
    std::map<HWND, COLORREF> colours_;
    std::map<COLORREF, HBRUSH> brushes_;
    HFONT windowFont_ = nullptr, legendFont_ = nullptr, boldLabelFont_ = nullptr;
    UINT colourMessage_ = 0;
    int dpi_ = 96;
    bool timerRunning_ = false;
    Win32UserSink boxes_;
    Win32FileChooser chooser_;
    WindowDispatcher dispatcher_;
    HtmlHelpViewer help_;
};

}  // namespace win32
}  // namespace qb
