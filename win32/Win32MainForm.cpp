#include "win32/Win32MainForm.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <stdexcept>

#include "config/Backups.h"
#include "config/Text.h"
#include "presenter/MainPresenter.h"
#include "protocol/DeviceImage.h"

namespace qb::win32 {

namespace {

constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1Interval = 50;
constexpr wchar_t kOptionsKey[] = L"Software\\VELMORA\\Quillanterbrooke";
constexpr int kBackupsListed = 10;
constexpr std::size_t kDifferencesListed = 12;

std::wstring WideAscii(std::string_view text) {
    return {text.begin(), text.end()};
}

std::u16string WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
    return FromWide(text);
}

// Multi-line edits break lines with "\r\n".
std::wstring MemoText(const std::u16string& text) {
    return BoxText(text);
}

}  // namespace

// ---- WindowDispatcher ----

WindowDispatcher::WindowDispatcher() : queue_(std::make_shared<Queue>()) {}

void WindowDispatcher::attach(HWND window) {
    const std::lock_guard lock(queue_->mutex);
    queue_->window = window;
}

void WindowDispatcher::post(std::function<void()> work) {
    std::function<void()> dropped;  // destroyed outside the lock: its captures may post again
    const std::lock_guard lock(queue_->mutex);
    if (queue_->closed || !queue_->window) {
        dropped = std::move(work);
        return;
    }
    queue_->work.push_back(std::move(work));
    if (!queue_->woken) queue_->woken = PostMessageW(queue_->window, kRunQueuedWork, 0, 0) != FALSE;
}

void WindowDispatcher::runPending(const std::function<void(const std::u16string&)>& failed) {
    std::deque<std::function<void()>> batch;
    {
        const std::lock_guard lock(queue_->mutex);
        queue_->woken = false;
        batch.swap(queue_->work);
    }
    for (auto& work : batch) {
        {
            const std::lock_guard lock(queue_->mutex);
            if (queue_->closed) return;
        }
        // One piece that fails is told; the others still run.
        try {
            work();
        } catch (const std::exception& e) {
            failed(FromUtf8(e.what()));
        } catch (...) {
            failed(u"An unexpected error occurred.");
        }
    }
}

void WindowDispatcher::close() {
    std::deque<std::function<void()>> dropped;
    const std::lock_guard lock(queue_->mutex);
    queue_->closed = true;
    dropped.swap(queue_->work);
}

// ---- The window ----

Win32MainForm::Win32MainForm(HINSTANCE instance) : instance_(instance) {
    INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&common);
    colourMessage_ = RegisterWindowMessageW(kControlColourMessage);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &RouteToObject<Win32MainForm>;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hIconSm =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                      GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassExW(&windowClass);

    // The client area as designed; the frame around it is the system's.
    constexpr DWORD style = WS_OVERLAPPEDWINDOW;
    constexpr DWORD exStyle = WS_EX_CONTROLPARENT;
    // Drawn at the screen's own resolution: every design length scaled, nothing stretched by the system.
    dpi_ = SystemDpi();
    RECT frame{0, 0, Scaled(kClientWidth, dpi_), Scaled(kClientHeight, dpi_)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    window_ = CreateWindowExW(exStyle, kMainWindowClass, L"", style, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, this);
    if (!window_) throw std::runtime_error("The window cannot be made.");
    boxes_.setOwner(window_);
    chooser_.setOwner(window_);
    dispatcher_.attach(window_);

    windowFont_ = MakeFont(L"Tahoma", 8, false, dpi_);
    legendFont_ = MakeFont(L"MS Sans Serif", 12, false, dpi_);
    boldLabelFont_ = MakeFont(L"MS Sans Serif", 8, true, dpi_);
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_), FALSE);
    createControls();
}

Win32MainForm::~Win32MainForm() {
    dispatcher_.close();
    if (window_) DestroyWindow(window_);
    for (HFONT font : {windowFont_, legendFont_, boldLabelFont_})
        if (font) DeleteObject(font);
    for (auto& [colour, brush] : brushes_) DeleteObject(brush);
}

void Win32MainForm::createControls() {
    const auto& design = MainFormDesign();
    for (std::size_t i = 0; i < design.size(); ++i) {
        const ControlDesign& d = design[i];
        const wchar_t* windowClass = WC_BUTTONW;
        // Every control clips its siblings: a frame never paints over what stands in it.
        DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
        DWORD exStyle = 0;
        switch (d.kind) {
            case ControlKind::Button:
                style |= WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON;
                break;
            case ControlKind::CheckBox:
                style |= WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX;
                break;
            case ControlKind::Radio: {
                // The first of a group starts it: arrows move within it, Tab leaves it.
                const bool first = i == 0 || design[i - 1].radioGroup != d.radioGroup;
                style |= BS_AUTORADIOBUTTON | (first ? WS_GROUP | WS_TABSTOP : 0);
                break;
            }
            case ControlKind::Edit:
            case ControlKind::SpinEdit:
                windowClass = WC_EDITW;
                exStyle = WS_EX_CLIENTEDGE;
                style |= WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL;
                if (d.align == Align::Centre) style |= ES_CENTER;
                if (d.kind == ControlKind::SpinEdit) style |= ES_NUMBER;
                break;
            case ControlKind::Memo:
                windowClass = WC_EDITW;
                exStyle = WS_EX_CLIENTEDGE;
                style |= WS_TABSTOP | WS_GROUP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
                break;
            case ControlKind::DropList:
                windowClass = WC_COMBOBOXW;
                style |= WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWNLIST;
                break;
            case ControlKind::Label:
                windowClass = WC_STATICW;
                style |= SS_NOPREFIX | SS_CENTERIMAGE | SS_ENDELLIPSIS |
                         (d.align == Align::Centre  ? SS_CENTER
                          : d.align == Align::Right ? SS_RIGHT
                                                    : SS_LEFT);
                break;
            case ControlKind::GroupBox:
                style |= BS_GROUPBOX;
                break;
            case ControlKind::Panel:
                windowClass = WC_STATICW;
                exStyle = WS_EX_DLGMODALFRAME;  // raised
                break;
        }
        const int id = kFirstControlId + static_cast<int>(i);
        HWND hwnd = CreateWindowExW(exStyle, windowClass, Wide(d.caption).c_str(), style, Scaled(d.x, dpi_),
                                    Scaled(d.y, dpi_), Scaled(d.width, dpi_), Scaled(d.height, dpi_), window_,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
        if (!hwnd) throw std::runtime_error("The control " + d.name + " cannot be made.");
        const HFONT font = d.font == Font::Legend      ? legendFont_
                           : d.font == Font::BoldLabel ? boldLabelFont_
                                                       : windowFont_;
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (d.maxLength > 0) SendMessageW(hwnd, EM_SETLIMITTEXT, static_cast<WPARAM>(d.maxLength), 0);
        Control control{&d, hwnd, nullptr};
        if (d.kind == ControlKind::SpinEdit) {
            SendMessageW(hwnd, EM_SETLIMITTEXT, 1, 0);
            // The up-down control takes the right end of the edit's place, so both fill the designed width.
            control.upDown = CreateWindowExW(0, UPDOWN_CLASSW, L"",
                                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | UDS_SETBUDDYINT |
                                                 UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
                                             0, 0, 0, 0, window_, nullptr, instance_, nullptr);
            SendMessageW(control.upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(hwnd), 0);
            SendMessageW(control.upDown, UDM_SETRANGE32, kSpinMinimum, kSpinMaximum);
            SendMessageW(control.upDown, UDM_SETPOS32, 0, std::stoi(std::string(d.caption.begin(), d.caption.end())));
        }
        if (d.kind == ControlKind::DropList && d.name == "BaudRateComboBox")
            for (const char* rate : kBaudRates)
                SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideAscii(rate).c_str()));
        controls_.emplace(d.name, control);
    }
    // The status line's chooser shows only while several encoders are attached, its progress and note only while
    // there is one; the stop bits and parity start at 1 and none.
    for (const char* hidden : {controls::kDeviceChooser, controls::kProgressText, controls::kNoteText})
        ShowWindow(hwndOf(hidden), SW_HIDE);
    setChecked("StopBitRadioButton1", true);
    setChecked("NoParityRadioButton", true);
}

void Win32MainForm::show(int showCommand) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    // Focus on the first legend edit, as a dialog would start.
    if (HWND first = GetNextDlgTabItem(window_, nullptr, FALSE)) SetFocus(first);
}

bool Win32MainForm::navigate(MSG& message) {
    return window_ && (message.hwnd == window_ || IsChild(window_, message.hwnd)) &&
           IsDialogMessageW(window_, &message);
}

LRESULT Win32MainForm::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            command(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_TIMER:
            if (wParam == kTimer1) forward([](MainPresenter& p) { p.Timer1Timer(); });
            return 0;
        case kRunQueuedWork:
            dispatcher_.runPending([this](const std::u16string& error) { boxes_.showError(error); });
            return 0;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC: {
            const auto hdc = reinterpret_cast<HDC>(wParam);
            const auto control = reinterpret_cast<HWND>(lParam);
            if (auto lit = colours_.find(control); lit != colours_.end()) {
                SetBkColor(hdc, lit->second);
                return reinterpret_cast<LRESULT>(brushFor(lit->second));
            }
            if (message == WM_CTLCOLORSTATIC) {
                // The memo, the labels and the frames on the button face.
                SetBkColor(hdc, GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        }
        case WM_CLOSE: {
            // A close question that fails keeps the window: nothing unsaved is lost that way.
            bool mayClose = presenter_ == nullptr;
            forward([&mayClose](MainPresenter& p) { mayClose = p.CloseRequested(); });
            if (mayClose) DestroyWindow(window_);
            return 0;
        }
        case WM_DESTROY:
            dispatcher_.close();
            setTimerRunning(false);
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            // Whatever the presenter asks from now on finds no control and does nothing.
            HWND gone = window_;
            SetWindowLongPtrW(gone, GWLP_USERDATA, 0);
            window_ = nullptr;
            for (auto& [name, control] : controls_) control.hwnd = control.upDown = nullptr;
            colours_.clear();
            return DefWindowProcW(gone, message, wParam, lParam);
        }
        default:
            if (message == colourMessage_ && colourMessage_ != 0) {
                const auto lit = colours_.find(reinterpret_cast<HWND>(wParam));
                return lit == colours_.end() ? static_cast<LRESULT>(CLR_INVALID) : lit->second;
            }
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void Win32MainForm::command(int id, int code) {
    const auto& design = MainFormDesign();
    const int index = id - kFirstControlId;
    if (index < 0 || index >= static_cast<int>(design.size())) return;
    const ControlDesign& d = design[static_cast<std::size_t>(index)];
    if (d.legendIndex >= 0) {
        // Typed or set by the program alike.
        if (code == EN_CHANGE) forward([i = d.legendIndex](MainPresenter& p) { p.SwitchEditChange(i); });
        return;
    }
    if (d.kind == ControlKind::SpinEdit) {
        // A number typed out of range shows as the value it counts as once the editor is left.
        if (code == EN_KILLFOCUS) setValue(d.name, value(d.name));
        return;
    }
    if (d.name == controls::kDeviceChooser) {
        if (code == CBN_SELCHANGE) {
            const int chosen = static_cast<int>(SendMessageW(hwndOf(d.name), CB_GETCURSEL, 0, 0));
            forward([chosen](MainPresenter& p) { p.DeviceChosen(chosen); });
        }
        return;
    }
    if (code != BN_CLICKED) return;
    using Handler = void (MainPresenter::*)();
    static const std::map<std::string, Handler, std::less<>> handlers{
        {"LoadButton", &MainPresenter::LoadButtonClick},
        {"SaveButton", &MainPresenter::SaveButtonClick},
        {"WriteButton", &MainPresenter::WriteButtonClick},
        {"ReadButton", &MainPresenter::ReadButtonClick},
        {"TestkeypadButton", &MainPresenter::TestkeypadButtonClick},
        {"HelpButton", &MainPresenter::HelpButtonClick},
        {"ExitButton", &MainPresenter::ExitButtonClick},
        {"BackupsButton", &MainPresenter::BackupsButtonClick},
        {controls::kVerifyWrites, &MainPresenter::OptionChanged},
        {controls::kReadMessages, &MainPresenter::OptionChanged},
        {controls::kBackup, &MainPresenter::OptionChanged},
    };
    if (auto handler = handlers.find(d.name); handler != handlers.end())
        forward([h = handler->second](MainPresenter& p) { (p.*h)(); });
}

void Win32MainForm::forward(const std::function<void(MainPresenter&)>& handler) {
    if (!presenter_) return;
    try {
        handler(*presenter_);
    } catch (const std::exception& e) {
        boxes_.showError(FromUtf8(e.what()));
    } catch (...) {
        boxes_.showError(u"An unexpected error occurred.");
    }
}

const Win32MainForm::Control* Win32MainForm::find(std::string_view name) const {
    const auto control = controls_.find(name);
    if (control != controls_.end()) return &control->second;
    // A name this window lacks: nothing to do, and a line for a debugger.
    OutputDebugStringW((L"Quillanterbrooke: no control " + WideAscii(name) + L"\n").c_str());
    return nullptr;
}

HWND Win32MainForm::hwndOf(std::string_view name) const {
    const Control* control = find(name);
    return control ? control->hwnd : nullptr;
}

HBRUSH Win32MainForm::brushFor(COLORREF colour) {
    auto brush = brushes_.find(colour);
    if (brush == brushes_.end()) brush = brushes_.emplace(colour, CreateSolidBrush(colour)).first;
    return brush->second;
}

// ---- Controls by name ----

std::u16string Win32MainForm::text(std::string_view name) const {
    HWND hwnd = hwndOf(name);
    return hwnd ? WindowText(hwnd) : std::u16string();
}

void Win32MainForm::setText(std::string_view name, const std::u16string& text) {
    const Control* control = find(name);
    if (!control || !control->hwnd) return;
    const bool memo = control->design->kind == ControlKind::Memo;
    SetWindowTextW(control->hwnd, (memo ? MemoText(text) : Wide(text)).c_str());
}

void Win32MainForm::appendLine(std::string_view name, const std::u16string& line) {
    HWND hwnd = hwndOf(name);
    if (!hwnd) return;
    const int end = GetWindowTextLengthW(hwnd);
    const std::wstring added = (end > 0 ? L"\r\n" : L"") + MemoText(line);
    SendMessageW(hwnd, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(added.c_str()));
}

int Win32MainForm::value(std::string_view name) const {
    const Control* control = find(name);
    if (!control || !control->hwnd) return -1;
    if (control->design->kind == ControlKind::DropList)
        return static_cast<int>(SendMessageW(control->hwnd, CB_GETCURSEL, 0, 0));
    // What is typed, kept within the range like the up-down's arrows keep it; an emptied edit reads the lowest.
    const std::u16string typed = WindowText(control->hwnd);
    int value = 0;
    for (char16_t c : typed)
        if (c >= u'0' && c <= u'9') value = std::min(value * 10 + (c - u'0'), 1000);
    return std::clamp(value, kSpinMinimum, kSpinMaximum);
}

void Win32MainForm::setValue(std::string_view name, int value) {
    const Control* control = find(name);
    if (!control || !control->hwnd) return;
    if (control->design->kind == ControlKind::DropList) {
        const auto count = static_cast<int>(SendMessageW(control->hwnd, CB_GETCOUNT, 0, 0));
        SendMessageW(control->hwnd, CB_SETCURSEL, value >= 0 && value < count ? value : -1, 0);
    } else if (control->upDown) {
        SendMessageW(control->upDown, UDM_SETPOS32, 0, std::clamp(value, kSpinMinimum, kSpinMaximum));
    }
}

bool Win32MainForm::checked(std::string_view name) const {
    HWND hwnd = hwndOf(name);
    return hwnd && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32MainForm::setChecked(std::string_view name, bool checked) {
    const Control* control = find(name);
    if (!control || !control->hwnd) return;
    // The system clears a group's other buttons only when the user clicks.
    if (checked && control->design->radioGroup != 0)
        for (const auto& [otherName, other] : controls_)
            if (other.design->radioGroup == control->design->radioGroup && other.hwnd != control->hwnd && other.hwnd)
                SendMessageW(other.hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(control->hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32MainForm::setEnabled(std::string_view name, bool enabled) {
    const Control* control = find(name);
    if (!control || !control->hwnd) return;
    EnableWindow(control->hwnd, enabled);
    if (control->upDown) EnableWindow(control->upDown, enabled);
}

void Win32MainForm::setVisible(std::string_view name, bool visible) {
    const Control* control = find(name);
    if (!control || !control->hwnd) return;
    ShowWindow(control->hwnd, visible ? SW_SHOWNA : SW_HIDE);
    if (control->upDown) ShowWindow(control->upDown, visible ? SW_SHOWNA : SW_HIDE);
}

bool Win32MainForm::visible(std::string_view name) const {
    // Its own flag, whether the window is on the screen yet or not.
    HWND hwnd = hwndOf(name);
    return hwnd && (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Win32MainForm::setColour(std::string_view name, std::optional<Colour> colour) {
    HWND hwnd = hwndOf(name);
    if (!hwnd) return;
    if (colour)
        colours_[hwnd] = RGB(colour->red, colour->green, colour->blue);
    else
        colours_.erase(hwnd);
    InvalidateRect(hwnd, nullptr, TRUE);
}

void Win32MainForm::setItems(std::string_view name, const std::vector<std::u16string>& items, int selected) {
    HWND hwnd = hwndOf(name);
    if (!hwnd) return;
    SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
    for (const std::u16string& item : items)
        SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    SendMessageW(hwnd, CB_SETCURSEL, selected >= 0 && selected < static_cast<int>(items.size()) ? selected : -1, 0);
}

// ---- The window, time, the platform ----

void Win32MainForm::setCaption(const std::u16string& caption) {
    if (window_) SetWindowTextW(window_, Wide(caption).c_str());
}

void Win32MainForm::requestClose() {
    if (window_) PostMessageW(window_, WM_CLOSE, 0, 0);
}

void Win32MainForm::setTimerRunning(bool running) {
    if (running == timerRunning_ || !window_) {
        if (!window_) timerRunning_ = false;
        return;
    }
    timerRunning_ = running ? SetTimer(window_, kTimer1, kTimer1Interval, nullptr) != 0 : false;
    if (!running) KillTimer(window_, kTimer1);
}

// Where Qt keeps them on Windows: "true" or "false" as text.
bool Win32MainForm::rememberedOption(std::string_view key, bool fallback) {
    wchar_t stored[16] = {};
    DWORD size = sizeof stored;
    if (RegGetValueW(HKEY_CURRENT_USER, kOptionsKey, WideAscii(key).c_str(), RRF_RT_REG_SZ, nullptr, stored, &size) !=
        ERROR_SUCCESS)
        return fallback;
    const std::wstring value = stored;
    if (value == L"true") return true;
    if (value == L"false") return false;
    return fallback;
}

void Win32MainForm::rememberOption(std::string_view key, bool value) {
    const wchar_t* text = value ? L"true" : L"false";
    HKEY options = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kOptionsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &options, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExW(options, WideAscii(key).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(options);
}

void Win32MainForm::showBackups(const std::optional<std::string>& serial, bool onlyIfOpen) {
    // No window of its own to refresh here: the list is a box, shown only when asked for.
    if (onlyIfOpen) return;
    const BackupDir dir = DefaultBackupDir();
    if (!dir.error.empty()) return boxes_.showError(FromUtf8(dir.error));
    const BackupList list = ListBackups(dir.path, serial);
    if (!list.error.empty()) return boxes_.showError(FromUtf8(list.error));
    const std::u16string folder = dir.path.u16string();
    const std::u16string whose = serial ? u" of the encoder " + FromUtf8(*serial) : u"";
    if (list.entries.empty()) return boxes_.showInformation(u"No backups" + whose + u" yet in\n" + folder);
    std::u16string text = std::u16string(u"Backups") + whose + u", newest first, in\n" + folder + u"\n";
    for (std::size_t i = 0; i < list.entries.size() && i < kBackupsListed; ++i)
        text.append(u"\n").append(list.entries[i].path.filename().u16string());
    if (list.entries.size() > kBackupsListed)
        text += u"\n... and " + FromUtf8(std::to_string(list.entries.size() - kBackupsListed)) + u" older";
    text += u"\n\nLoad File opens any of them.";
    boxes_.showInformation(text);
}

void Win32MainForm::showReadBack(const Comparison& comparison) {
    std::u16string differences;
    std::size_t count = 0;
    for (const ComparisonRow& row : comparison.rows) {
        if (!row.differs) continue;
        if (++count <= kDifferencesListed)
            differences.append(u"\n")
                .append(FromUtf8(row.name))
                .append(u": window ")
                .append(FromUtf8(row.window))
                .append(u", device ")
                .append(FromUtf8(row.device));
    }
    if (count == 0) return;
    if (count > kDifferencesListed)
        differences += u"\n... and " + FromUtf8(std::to_string(count - kDifferencesListed)) + u" more";
    std::u16string question = u"The device holds other values than the window:" + differences;
    if (!comparison.messagesRead) question += u"\n(its messages were not read)";
    question += u"\n\nTake the device's values into the window?";
    // Asked once the read's own boxes are done with, never from within the operation.
    dispatcher_.post([this, question] {
        if (MessageBoxW(window_, BoxText(question).c_str(), kBoxCaption, MB_YESNO | MB_ICONQUESTION) == IDYES)
            forward([](MainPresenter& p) { p.TakeOverDeviceValues(); });
    });
}

}  // namespace qb::win32
