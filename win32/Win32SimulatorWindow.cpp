#include "win32/Win32SimulatorWindow.h"

#include <commctrl.h>

#include "config/KeyTable.h"
#include "device/DeviceIds.h"
#include "simulator/SimulatedDevice.h"
#include "win32/Win32Dialogs.h"

namespace qb::win32 {

namespace {

constexpr UINT_PTR kPadTimer = 1;
constexpr int kPadFirstId = 200;  // + the key's number - 1
constexpr int kPluggedId = 300, kProgramModeId = 301;
constexpr int kPitch = 44, kButton = 36, kMargin = 12;
constexpr int kWidth = 2 * kMargin + 3 * kPitch + kButton, kHeight = 2 * kMargin + 4 * kPitch + 2 * 24;

}  // namespace

Win32SimulatorWindow::Win32SimulatorWindow(HINSTANCE instance, SimulatedDevice& device) : device_(device) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &RouteToObject<Win32SimulatorWindow>;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kSimulatorWindowClass;
    RegisterClassExW(&windowClass);
    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_MINIMIZEBOX;
    const int dpi = SystemDpi();
    const auto scaled = [dpi](int length) { return Scaled(length, dpi); };
    RECT frame{0, 0, scaled(kWidth), scaled(kHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
    window_ = CreateWindowExW(WS_EX_CONTROLPARENT, kSimulatorWindowClass, L"Simulated device", style, CW_USEDEFAULT,
                              CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                              instance, this);
    if (!window_) return;
    font_ = MakeFont(L"Tahoma", 8, false, dpi);
    const auto make = [&](const wchar_t* cls, const wchar_t* caption, DWORD style, int x, int y, int w, int h, int id) {
        HWND hwnd = CreateWindowExW(0, cls, caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, scaled(x), scaled(y),
                                    scaled(w), scaled(h), window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                    instance, nullptr);
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        return hwnd;
    };
    for (const KeyInfo& key : kKeys) {
        const wchar_t caption[] = {static_cast<wchar_t>(key.legend), L'\0'};
        pad_[static_cast<std::size_t>(key.keyNumber - 1)] =
            make(WC_BUTTONW, caption, BS_PUSHBUTTON, kMargin + (key.column - 1) * kPitch,
                 kMargin + (key.row - 1) * kPitch, kButton, kButton, kPadFirstId + key.keyNumber - 1);
    }
    const int optionsY = kMargin + 4 * kPitch;
    plugged_ =
        make(WC_BUTTONW, L"Plugged in", BS_AUTOCHECKBOX, kMargin, optionsY, kWidth - 2 * kMargin, 20, kPluggedId);
    programMode_ = make(WC_BUTTONW, L"Program mode", BS_AUTOCHECKBOX, kMargin, optionsY + 24, kWidth - 2 * kMargin, 20,
                        kProgramModeId);
    SendMessageW(plugged_, BM_SETCHECK, device_.pluggedIn() ? BST_CHECKED : BST_UNCHECKED, 0);
    // A button tells only of clicks; whether it is held down is looked at on every tick.
    SetTimer(window_, kPadTimer, 50, nullptr);
}

Win32SimulatorWindow::~Win32SimulatorWindow() {
    if (window_) DestroyWindow(window_);
    if (font_) DeleteObject(font_);
}

void Win32SimulatorWindow::showBeside(HWND main) {
    if (!window_) return;
    RECT mainFrame{};
    GetWindowRect(main, &mainFrame);
    SetWindowPos(window_, nullptr, mainFrame.right + 8, mainFrame.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(window_, SW_SHOWNOACTIVATE);
}

LRESULT Win32SimulatorWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = window_;
    switch (message) {
        case WM_TIMER:
            pollPad();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kPluggedId || LOWORD(wParam) == kProgramModeId) applyPlug();
            return 0;
        case WM_CLOSE:
            return 0;  // it lives as long as the main window
        case WM_NCDESTROY:
            KillTimer(hwnd, kPadTimer);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            window_ = nullptr;
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Win32SimulatorWindow::pollPad() {
    int held = 0;
    for (std::size_t i = 0; i < pad_.size(); ++i)
        if (SendMessageW(pad_[i], BM_GETSTATE, 0, 0) & BST_PUSHED) held = static_cast<int>(i) + 1;
    if (held == held_) return;
    held_ = held;
    device_.setKeyDown(held);
}

void Win32SimulatorWindow::applyPlug() {
    const bool plugged = SendMessageW(plugged_, BM_GETCHECK, 0, 0) == BST_CHECKED;
    const bool programMode = SendMessageW(programMode_, BM_GETCHECK, 0, 0) == BST_CHECKED;
    // A change of mode is the device going away and coming back in its other firmware.
    const std::uint16_t release = programMode ? kProgramModeRelease : kApplicationRelease;
    if (device_.pluggedIn()) device_.unplug();
    device_.setRelease(release);
    if (plugged) device_.replug();
}

}  // namespace qb::win32
