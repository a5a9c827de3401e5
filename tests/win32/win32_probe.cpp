// Drives the Windows program from outside as a user would: starts it, finds its window by caption, reads and sets
// its controls by their designed names, clicks, types, reads and answers its message boxes, and tells per case
// whether it behaved. Usage: win32_probe PROGRAM SCRATCH-FOLDER [CASE...]; status 0 when every case passed.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "config/DataFile.h"
#include "config/KeyTable.h"
#include "win32/ControlTable.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr wchar_t kCaption[] = L"VELMORA Quillanterbrooke Interface Version 1.00";
constexpr wchar_t kMainClass[] = L"QuillanterbrookeMainForm";
constexpr wchar_t kSimulatorClass[] = L"QuillanterbrookeSimulatedDevice";
constexpr wchar_t kColourMessage[] = L"Quillanterbrooke.ControlColour";
constexpr int kPadFirstId = 200;  // the simulated device's window: pad buttons, then its two check boxes
constexpr int kPluggedId = 300, kProgramModeId = 301;
// Wine on a busy machine is slow to start a program; every wait is for a condition, up to this long.
constexpr int kEscape = -1;
constexpr auto kPatience = std::chrono::seconds(30);

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

void Check(bool condition, const std::string& what) {
    if (!condition) throw Failure(what);
}

// Polls until `ready` holds; fails with `what` when it does not in time.
void WaitFor(const std::function<bool()>& ready, const std::string& what) {
    const auto deadline = Clock::now() + kPatience;
    while (!ready()) {
        if (Clock::now() > deadline) throw Failure("timed out waiting for " + what);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, 10000, &result))
        throw Failure("the window does not answer");
    return static_cast<LRESULT>(result);
}

std::wstring Text(HWND hwnd) {
    wchar_t buffer[1024] = {};
    Send(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

std::vector<HWND> TopWindows(DWORD process, const wchar_t* windowClass) {
    struct Search {
        DWORD process;
        const wchar_t* windowClass;
        std::vector<HWND> found;
    } search{process, windowClass, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            wchar_t name[64] = {};
            GetClassNameW(hwnd, name, 64);
            if (owner == s.process && IsWindowVisible(hwnd) && std::wstring(name) == s.windowClass)
                s.found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// One run of the program.
class App {
public:
    explicit App(const std::wstring& arguments, bool expectWindow = true, const std::wstring& copy = {}) {
        std::wstring line = L"\"" + (copy.empty() ? program : copy) + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
            throw Failure("cannot start the program");
        if (!expectWindow) return;
        WaitFor(
            [this] {
                for (HWND hwnd : TopWindows(process_.dwProcessId, kMainClass)) {
                    wchar_t caption[128] = {};
                    GetWindowTextW(hwnd, caption, 128);
                    if (std::wstring(caption) == kCaption) main_ = hwnd;
                }
                return main_ != nullptr;
            },
            "the window captioned \"VELMORA Quillanterbrooke Interface Version 1.00\"");
    }
    ~App() {
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    HWND main() const { return main_; }
    HWND control(const std::string& name) const {
        const auto id = qb::win32::ControlId(name);
        HWND hwnd = id ? GetDlgItem(main_, *id) : nullptr;
        Check(hwnd != nullptr, "no control named " + name);
        return hwnd;
    }
    std::wstring text(const std::string& name) const { return Text(control(name)); }
    void click(const std::string& name) const {
        // Posted: the click may open a box, which must not hold up the probe.
        PostMessageW(main_, WM_COMMAND, MAKEWPARAM(*qb::win32::ControlId(name), BN_CLICKED),
                     reinterpret_cast<LPARAM>(control(name)));
    }
    void typeOver(const std::string& name, const std::wstring& typed) const {
        HWND edit = control(name);
        Send(edit, EM_SETSEL, 0, -1);
        for (wchar_t c : typed) PostMessageW(edit, WM_CHAR, c, 1);
    }
    bool isChecked(const std::string& name) const { return Send(control(name), BM_GETCHECK) == BST_CHECKED; }
    COLORREF colour(const std::string& name) const {
        return static_cast<COLORREF>(
            Send(main_, RegisterWindowMessageW(kColourMessage), reinterpret_cast<WPARAM>(control(name))));
    }
    void waitText(const std::string& name, const std::wstring& expected) const {
        WaitFor([&] { return text(name) == expected; }, name + " showing \"" + Narrow(expected) + "\"");
    }

    // The program's message box, once there: its text.
    HWND waitBox(std::wstring* text = nullptr) const {
        HWND box = nullptr;
        WaitFor(
            [&] {
                const auto boxes = TopWindows(process_.dwProcessId, L"#32770");
                box = boxes.empty() ? nullptr : boxes.front();
                return box != nullptr;
            },
            "a message box");
        if (text) *text = Text(GetDlgItem(box, 0xFFFF));
        return box;
    }
    // Waits for a box saying `expected` (a part of its text), answers it with button `answer`, and waits for it
    // to go.
    // The answer kEscape is the Esc key.
    void answerBox(const std::wstring& expected, int answer) const {
        std::wstring said;
        HWND box = waitBox(&said);
        Check(said.find(expected) != std::wstring::npos,
              "a box saying \"" + Narrow(expected) + "\", not \"" + Narrow(said) + "\"");
        if (answer == kEscape)
            PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 1);
        else
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
        WaitFor([box] { return !IsWindow(box) || !IsWindowVisible(box); }, "the box to close");
    }
    // Waits for the program's file dialog, types `name` as the file name and presses its OK button.
    void answerFileDialog(const std::wstring& name) const {
        HWND dialog = nullptr;
        HWND field = nullptr;
        WaitFor(
            [&] {
                for (HWND box : TopWindows(process_.dwProcessId, L"#32770")) {
                    // The file name field: a combo box (cmb13) in the dialogs of today, an edit (edt1) in older ones.
                    field = GetDlgItem(box, 0x47C);
                    if (!field) field = GetDlgItem(box, 0x480);
                    if (field) dialog = box;
                }
                return dialog != nullptr;
            },
            "a file dialog");
        Send(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        WaitFor([dialog] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, "the file dialog to close");
    }
    int waitExit() const {
        Check(WaitForSingleObject(process_.hProcess, 30000) == WAIT_OBJECT_0, "the program to end");
        DWORD status = 0;
        GetExitCodeProcess(process_.hProcess, &status);
        return static_cast<int>(status);
    }
    DWORD processId() const { return process_.dwProcessId; }

    static inline std::wstring program;

private:
    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
};

std::string NameOf(HWND hwnd) {
    const auto& design = qb::win32::MainFormDesign();
    const int index = GetDlgCtrlID(hwnd) - qb::win32::kFirstControlId;
    return index >= 0 && index < static_cast<int>(design.size()) ? design[std::size_t(index)].name : "?";
}

RECT ClientRect(HWND main, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The design's lengths at the screen's resolution, as the program scales them.
int Scaled(int length) {
    static const int dpi = ScreenDpi();
    return MulDiv(length, dpi, 96);
}

void CheckPlace(const App& app, const std::string& name, int x, int y, int w, int h) {
    x = Scaled(x), y = Scaled(y), w = Scaled(w), h = Scaled(h);
    const RECT r = ClientRect(app.main(), app.control(name));
    Check(r.left == x && r.top == y && r.right - r.left == w && r.bottom - r.top == h,
          name + " at " + std::to_string(r.left) + "," + std::to_string(r.top) + " " +
              std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
}

void CheckTabOrder(const App& app, const std::vector<std::string>& order) {
    for (std::size_t i = 1; i < order.size(); ++i) {
        HWND next = GetNextDlgTabItem(app.main(), app.control(order[i - 1]), FALSE);
        Check(next == app.control(order[i]),
              "Tab from " + order[i - 1] + " goes to " + NameOf(next) + ", not " + order[i]);
    }
}

std::vector<std::string> KeyNames(const std::string& prefix, bool columnMajor) {
    std::vector<std::string> names;
    for (int i = 0; i < qb::kKeyCount; ++i)
        names.push_back(prefix + (columnMajor ? qb::KeyBySlot(i) : qb::kKeys[std::size_t(i)]).suffix);
    return names;
}

// ---- The cases ----

// Starts with its caption, the designed controls in their places with their limits and tab orders; a legend
// typed shows beside its message; closing after it asks, Cancel keeps the window, No closes it.
void DesignAndClose() {
    App app(L"");
    RECT client{};
    GetClientRect(app.main(), &client);
    Check(client.right == Scaled(882) && client.bottom == Scaled(599 + 28 + 28),
          "a client area of " + std::to_string(Scaled(882)) + " x " + std::to_string(Scaled(655)) +
              " (882 x 655 at 96 dpi), not " + std::to_string(client.right) + " x " + std::to_string(client.bottom));
    CheckPlace(app, "GroupBox1", 28, 24, 409, 321);
    CheckPlace(app, "GroupBox3", 589, 24, 265, 185);
    CheckPlace(app, "GroupBox2", 28, 369, 825, 193);
    CheckPlace(app, "LogMemo", 669, 221, 185, 77);
    CheckPlace(app, "WriteButton", 456, 112, 113, 25);
    CheckPlace(app, "SwitchEdit5", 228, 108, 33, 28);
    CheckPlace(app, "SwitchEditHa", 292, 196, 33, 28);
    CheckPlace(app, "OutStringEditD", 684, 513, 150, 22);
    Check(Send(app.control("SwitchEdit1"), EM_GETLIMITTEXT) == 1, "a legend edit takes 1 character");
    Check(Send(app.control("OutStringEditA"), EM_GETLIMITTEXT) == 63, "a message edit takes 63 characters");
    Check(Send(app.control("BaudRateComboBox"), CB_GETCOUNT) == 7 &&
              Send(app.control("BaudRateComboBox"), CB_GETCURSEL) == 4,
          "seven baud rates, 19200 chosen");
    Check(app.isChecked("StopBitRadioButton1") && app.isChecked("NoParityRadioButton") &&
              !app.isChecked("StopBitRadioButton2"),
          "1 stop bit and no parity");

    std::vector<std::string> grid = KeyNames("SwitchEdit", true);
    grid.insert(grid.end(), {"RowCSpinEdit1", "RowCSpinEdit2", "RowCSpinEdit3", "RowCSpinEdit4", "CSpinEdit1"});
    CheckTabOrder(app, grid);
    // The keyboard goes the same way: the window starts on the first legend, Tab takes it to key 4's.
    const auto focus = [&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(app.main(), nullptr), &info);
        return info.hwndFocus;
    };
    WaitFor([&] { return focus() == app.control("SwitchEdit1"); }, "the focus on the first legend");
    PostMessageW(app.control("SwitchEdit1"), WM_KEYDOWN, VK_TAB, 1);
    WaitFor([&] { return focus() == app.control("SwitchEdit4"); }, "Tab to the legend of key 4");
    std::vector<std::string> messages = KeyNames("OutStringEdit", false);
    messages.push_back("LogMemo");
    CheckTabOrder(app, messages);

    // The line selectors keep within 1..8: up from 8 and down from 1 change nothing; the last key is the marker
    // that the ones before it were handled.
    PostMessageW(app.control("RowCSpinEdit4"), WM_KEYDOWN, VK_UP, 1);
    PostMessageW(app.control("CSpinEdit1"), WM_KEYDOWN, VK_DOWN, 1);
    PostMessageW(app.control("RowCSpinEdit1"), WM_KEYDOWN, VK_DOWN, 1);
    app.waitText("RowCSpinEdit1", L"4");
    Check(app.text("RowCSpinEdit4") == L"8" && app.text("CSpinEdit1") == L"1", "line selectors kept within 1..8");
    app.typeOver("RowCSpinEdit2", L"9");
    PostMessageW(app.control("RowCSpinEdit2"), WM_KILLFOCUS, 0, 0);
    app.waitText("RowCSpinEdit2", L"8");

    // Typed over: a second character does not fit, the label follows, the message stays.
    app.typeOver("SwitchEdit5", L"xy");
    app.waitText("OutStringLabel5", L"x");
    Check(app.text("SwitchEdit5") == L"x" && app.text("OutStringEdit5") == L"5", "only the legend and its label");
    Send(app.control("SwitchEditHa"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    app.waitText("OutStringLabelHa", L"");

    PostMessageW(app.main(), WM_CLOSE, 0, 0);
    app.answerBox(L"Data has changed", kEscape);
    Check(IsWindowVisible(app.main()) != FALSE, "the window open after Esc");
    PostMessageW(app.main(), WM_CLOSE, 0, 0);
    app.answerBox(L"Save now?", IDNO);
    Check(app.waitExit() == 0, "status 0 after closing");
}

// A data file named on the command line loads into the controls; a damaged one and a folder give a box and leave
// the defaults.
void LoadFiles(const fs::path& scratch) {
    qb::KeypadConfig config;
    qb::ApplyDefaults(config);
    config.Settings[8 + 5] = 'Q';  // the legend of key 5 (the legends follow the eight line numbers)
    const char message[] = "hello";
    std::copy(message, message + sizeof message, qb::Slot(config.Messages, 5));  // key 5's slot
    const std::vector<std::uint8_t> bytes = qb::EncodeDataFile(config);
    // A name beyond any 8-bit code page: the program takes its command line and names as Unicode.
    const fs::path good = scratch / L"probe-\u00fc\u65e5\u672c.dat";
    std::ofstream(good, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    {
        App app(L"\"" + good.wstring() + L"\"");
        app.waitText("SwitchEdit5", L"Q");
        app.waitText("OutStringLabel5", L"Q");
        Check(app.text("OutStringEdit5") == L"hello", "key 5's message from the file");
        app.click("ExitButton");
        Check(app.waitExit() == 0, "no question after a load alone");
    }
    // Save File gives a name typed without an extension ".dat"; Load File reads it back.
    const fs::path saved = scratch / "probe-saved.dat";
    fs::remove(saved);
    {
        App app(L"");
        Send(app.control("OutStringEditB"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"saved"));
        app.click("SaveButton");
        app.answerFileDialog((scratch / "probe-saved").wstring());
        WaitFor([&] { return fs::exists(saved); }, "probe-saved.dat written");
        Send(app.control("OutStringEditB"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"other"));
        app.click("LoadButton");
        app.answerFileDialog(saved.wstring());
        app.waitText("OutStringEditB", L"saved");
        app.click("ExitButton");
        Check(app.waitExit() == 0, "no question after a load");
    }
    const fs::path damaged = scratch / "probe-damaged.dat";
    std::ofstream(damaged, std::ios::binary) << "not a data file";
    for (const fs::path& hostile : {damaged, scratch}) {
        App app(L"\"" + hostile.wstring() + L"\"");
        std::wstring said;
        app.waitBox(&said);
        Check(!said.empty(), "an error box telling why");
        app.answerBox(L"", IDOK);
        Check(app.text("SwitchEdit5") == L"5" && app.text("OutStringEdit5") == L"5", "the defaults kept");
        app.click("ExitButton");
        Check(app.waitExit() == 0, "no question after a refused load");
    }
}

// Writes a bitmap of the window as it is on the screen.
void SaveWindowPicture(HWND window, const fs::path& file) {
    RECT r{};
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int stride = (w * 3 + 3) & ~3;
    std::vector<char> pixels(std::size_t(stride) * std::size_t(h));
    GetDIBits(memory, bitmap, 0, UINT(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    BITMAPFILEHEADER header{0x4D42, DWORD(sizeof(BITMAPFILEHEADER) + sizeof info + pixels.size()), 0, 0,
                            DWORD(sizeof(BITMAPFILEHEADER) + sizeof info)};
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), std::streamsize(pixels.size()));
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

// With the simulated device: a write, a read and a keypad test run to their ends.
void SimulatedDevice(const fs::path& scratch) {
    App app(L"--simulate");
    WaitFor([&] { return app.text("PresenceText").find(L"attached") != std::wstring::npos; },
            "the status line telling of the simulated device");
    // The tool's lone "\r" breaks the line in a box as "\r\n" does.
    Send(app.control("OutStringEdit1"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"\\ZZ"));
    app.click("WriteButton");
    std::wstring said;
    app.waitBox(&said);
    Check(said == L"Error on Message:\r\n\\ZZ", "the message refused on a line of its own: " + Narrow(said));
    app.answerBox(L"", IDOK);
    Send(app.control("OutStringEdit1"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"1"));
    app.click("WriteButton");
    app.answerBox(L"Download Complete", IDOK);
    WaitFor([&] { return app.text("LogMemo").find(L"Serial") != std::wstring::npos; }, "the device's identity");
    SaveWindowPicture(app.main(), scratch / "win32-window.bmp");
    // The write kept what the device held first: "Backups..." lists it.
    app.click("BackupsButton");
    app.answerBox(L"QB-1-", IDOK);

    app.click("ReadButton");
    app.answerBox(L"Read Complete", IDOK);
    // A read finding other values than the window's offers them; taken, they replace the window's.
    Send(app.control("SwitchEdit1"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Z"));
    app.click("ReadButton");
    app.answerBox(L"Read Complete", IDOK);
    app.answerBox(L"other values than the window", IDYES);
    app.answerBox(L"Data has changed", IDNO);
    app.waitText("SwitchEdit1", L"1");

    app.click("TestkeypadButton");
    app.waitText("TestkeypadButton", L"Stop Test");
    const auto simulators = TopWindows(app.processId(), kSimulatorClass);
    Check(simulators.size() == 1, "the simulated device's window");
    HWND key5 = GetDlgItem(simulators.front(), kPadFirstId + qb::kKeys[5].keyNumber - 1);
    Send(key5, BM_SETSTATE, TRUE);
    WaitFor([&] { return app.colour("SwitchEdit5") == RGB(0, 255, 0); }, "key 5 lit");
    Check(app.colour("SwitchEdit4") == CLR_INVALID, "only key 5 lit");
    Send(key5, BM_SETSTATE, FALSE);
    app.click("TestkeypadButton");
    app.waitText("TestkeypadButton", L"Test Keypad");

    // Unplugged and in program mode from its window: the status line follows, a write says why it cannot.
    const auto toggle = [&](int id) {
        HWND box = GetDlgItem(simulators.front(), id);
        PostMessageW(box, BM_CLICK, 0, 0);
    };
    toggle(kPluggedId);
    app.waitText("PresenceText", L"VELMORA not attached");
    app.click("WriteButton");
    app.answerBox(L"Cannot find VELMORA", IDOK);
    toggle(kProgramModeId);
    toggle(kPluggedId);
    WaitFor([&] { return app.text("PresenceText").find(L"VELMORA in program mode") == 0; },
            "the status line telling of program mode");
    app.click("WriteButton");
    app.answerBox(L"VELMORA is in Program Mode", IDOK);
    app.click("ExitButton");
    Check(app.waitExit() == 0, "status 0 after Exit");
}

// Closed while a write is under way, the window waits for its end and then closes by itself.
void CloseDuringWrite() {
    App app(L"--simulate");
    app.click("WriteButton");
    PostMessageW(app.main(), WM_CLOSE, 0, 0);
    app.answerBox(L"Download Complete", IDOK);
    Check(app.waitExit() == 0, "the window closed after the write, status 0");
}

// The Help button shows only with the help file beside the program (and the system's viewer, which Wine has).
void HelpButton(const fs::path& scratch) {
    for (const bool withHelp : {false, true}) {
        const fs::path folder = scratch / (withHelp ? "with-help" : "without-help");
        fs::create_directories(folder);
        // Replaced by removing first: MinGW's copy_file does not overwrite.
        fs::remove(folder / "quillanterbrooke.exe");
        fs::copy_file(App::program, folder / "quillanterbrooke.exe");
        if (withHelp) std::ofstream(folder / "quillanterbrooke.chm") << "help";
        App app(L"", true, (folder / "quillanterbrooke.exe").wstring());
        Check(IsWindowVisible(app.control("HelpButton")) == (withHelp ? TRUE : FALSE),
              withHelp ? "the Help button with the help file" : "no Help button without the help file");
        app.click("ExitButton");
        Check(app.waitExit() == 0, "status 0 after Exit");
    }
}

// --version in a box, status 0; bad usage in an error box, status 2.
void Usage() {
    const auto run = [](const wchar_t* arguments, const wchar_t* said, int status) {
        App app(arguments, false);
        app.answerBox(said, IDOK);
        Check(app.waitExit() == status, "status " + std::to_string(status));
    };
    run(L"--version", L"Quillanterbrooke 1.00", 0);
    run(L"--no-such-option", L"unknown option --no-such-option", 2);
    run(L"one.dat two.dat", L"one data file at most", 2);
}

// --trace records a write's reports both ways; one that cannot be written (a folder) is told before anything
// starts, status 1.
void Trace(const fs::path& scratch) {
    const fs::path trace = scratch / "probe.trace";
    fs::remove(trace);
    {
        App app(L"--simulate --trace \"" + trace.wstring() + L"\"");
        WaitFor([&] { return app.text("PresenceText").find(L"attached") != std::wstring::npos; },
                "the status line telling of the traced simulated device");
        app.click("WriteButton");
        app.answerBox(L"Download Complete", IDOK);
        app.click("ExitButton");
        Check(app.waitExit() == 0, "status 0 after Exit");
    }
    std::ifstream lines(trace);
    int count = 0;
    for (std::string line; std::getline(lines, line);) ++count;
    Check(count >= 2 * 37,
          "the write's 37 reports and their answers in the trace, not " + std::to_string(count) + " lines");
    App app(L"--simulate --trace \"" + scratch.wstring() + L"\"", false);
    app.answerBox(L"Cannot write the trace", IDOK);
    Check(app.waitExit() == 1, "status 1");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: win32_probe PROGRAM SCRATCH-FOLDER [CASE...]\n");
        return 2;
    }
    App::program = argv[1];
    const fs::path scratch = argv[2];
    const std::vector<std::pair<std::string, std::function<void()>>> cases{
        {"design-and-close", DesignAndClose},
        {"load-files", [&] { LoadFiles(scratch); }},
        {"simulated-device", [&] { SimulatedDevice(scratch); }},
        {"close-during-write", CloseDuringWrite},
        {"help-button", [&] { HelpButton(scratch); }},
        {"usage", Usage},
        {"trace", [&] { Trace(scratch); }},
    };
    std::vector<std::string> chosen;
    for (int i = 3; i < argc; ++i) chosen.push_back(Narrow(argv[i]));
    std::printf("screen at %d dpi\n", ScreenDpi());
    int failed = 0;
    for (const auto& [name, run] : cases) {
        if (!chosen.empty() && std::find(chosen.begin(), chosen.end(), name) == chosen.end()) continue;
        const auto start = Clock::now();
        try {
            run();
            std::printf("ok      %s (%.1f s)\n", name.c_str(),
                        std::chrono::duration<double>(Clock::now() - start).count());
        } catch (const std::exception& e) {
            ++failed;
            std::printf("FAILED  %s: %s\n", name.c_str(), e.what());
        }
        std::fflush(stdout);
    }
    return failed == 0 ? 0 : 1;
}
