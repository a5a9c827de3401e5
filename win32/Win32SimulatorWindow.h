// The "Simulated device" window of --simulate: the keypad, a key held down while its button is pressed, and
// whether the device is plugged in and in program mode.
#pragma once

#include <windows.h>

#include <array>

namespace qb {

class SimulatedDevice;

namespace win32 {

inline constexpr wchar_t kSimulatorWindowClass[] = L"QuillanterbrookeSimulatedDevice";

class Win32SimulatorWindow {
public:
    Win32SimulatorWindow(HINSTANCE instance, SimulatedDevice& device);
    ~Win32SimulatorWindow();
    Win32SimulatorWindow(const Win32SimulatorWindow&) = delete;
    Win32SimulatorWindow& operator=(const Win32SimulatorWindow&) = delete;

    // Shows it to the right of `main`.
    void showBeside(HWND main);
    HWND window() const { return window_; }

private:
    template <typename Window>
    friend LRESULT CALLBACK RouteToObject(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    // The key whose button is held down, 0 for none; told to the device when it changes.
    void pollPad();
    void applyPlug();

    SimulatedDevice& device_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    std::array<HWND, 16> pad_{};  // by the device's key number - 1
    HWND plugged_ = nullptr;
    HWND programMode_ = nullptr;
    int held_ = 0;
};

}  // namespace win32
}  // namespace qb
