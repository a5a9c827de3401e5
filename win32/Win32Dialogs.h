// The window's message boxes and its two file dialogs: the system's own.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

#include "config/FileFlows.h"
#include "config/UserSink.h"

namespace qb::win32 {

// The boxes' caption.
inline constexpr wchar_t kBoxCaption[] = L"Quillanterbrooke";

// The screen's pixels per inch, as the system scales every program (the design is at 96), and a design length
// at it.
int SystemDpi();
inline int Scaled(int designPixels, int dpi) {
    return MulDiv(designPixels, dpi, 96);
}
// A font of `points` at `dpi`.
HFONT MakeFont(const wchar_t* face, int points, bool bold, int dpi);

// The window procedure of a window object of ours: the object comes with WM_NCCREATE (CreateWindowExW's last
// argument), is kept with its window, and gets every message from then on. `Window` makes it a friend.
template <typename Window>
LRESULT CALLBACK RouteToObject(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* object = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
        object->window_ = hwnd;
    }
    auto* object = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return object ? object->handle(message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
}

// A text of the tool as a box shows it: every "\r\n", lone "\r" and "\n" a line of its own.
std::wstring BoxText(const std::u16string& text);
std::wstring Wide(const std::u16string& text);
std::u16string FromWide(const std::wstring& text);

// Message boxes owned by the window. Yes is the default answer of the question; Esc and the close box count as
// Cancel, which loses nothing.
class Win32UserSink : public UserSink {
public:
    void setOwner(HWND owner) { owner_ = owner; }
    void showError(const std::u16string& text) override;
    void showInformation(const std::u16string& text) override;
    Answer askYesNoCancel(const std::u16string& text) override;

private:
    HWND owner_ = nullptr;
};

// OpenDialog1 and SaveDialog1: data files first, then all files; a name typed without an extension gets ".dat".
// A typed name need not exist when opening (loading tells why it cannot); saving replaces a file without asking.
class Win32FileChooser : public FileChooser {
public:
    void setOwner(HWND owner) { owner_ = owner; }
    std::optional<std::filesystem::path> chooseFileToOpen() override;
    std::optional<std::filesystem::path> chooseFileToSave() override;

private:
    std::optional<std::filesystem::path> run(bool save);
    HWND owner_ = nullptr;
};

}  // namespace qb::win32
