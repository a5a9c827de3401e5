// The program on Windows: one window, "VELMORA Quillanterbrooke Interface Version 1.00", living as long as the
// program; the system's own controls, no toolkit.
#include <windows.h>

#include <shellapi.h>

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/Text.h"
#include "device/TracingTransport.h"
#include "presenter/BusWatchers.h"
#include "presenter/MainPresenter.h"
#include "simulator/SimulatedDevice.h"
#include "simulator/TransportFactory.h"
#include "win32/Win32Dialogs.h"
#include "win32/Win32MainForm.h"
#include "win32/Win32SimulatorWindow.h"

namespace {

using qb::win32::kBoxCaption;

constexpr wchar_t kUsage[] =
    L"Usage: quillanterbrooke [options] [file]\r\n"
    L"Prepares the VELMORA Quillanterbrooke keypad encoder.\r\n\r\n"
    L"file\tA data file (.dat) to load at start.\r\n\r\n"
    L"--simulate\tTalk to a simulated device instead of the USB device.\r\n"
    L"--device PATH or SERIAL\tWith several encoders attached, use the one with this device path or USB serial "
    L"number.\r\n"
    L"--trace FILE\tRecord every report to and from the device in FILE.\r\n"
    L"--help\tShow this help.\r\n"
    L"--version\tShow the version.";

struct Options {
    bool simulate = false;
    std::wstring device;
    std::wstring trace;
    std::filesystem::path file;
};

void Fail(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), kBoxCaption, MB_OK | MB_ICONERROR);
}

// The command line as the Qt program takes it; anything else is shown with the usage, status 2.
std::optional<int> ParseOptions(const std::vector<std::wstring>& args, Options& options) {
    const auto bad = [](const std::wstring& why) {
        Fail(L"quillanterbrooke: " + why + L"\r\n\r\n" + kUsage);
        return 2;
    };
    std::vector<std::wstring> files;
    bool onlyFiles = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (onlyFiles || arg.size() < 2 || arg[0] != L'-') {
            files.push_back(arg);
            continue;
        }
        if (arg == L"--") {
            onlyFiles = true;
            continue;
        }
        if (arg == L"--help" || arg == L"-h" || arg == L"-?" || arg == L"/?") {
            MessageBoxW(nullptr, kUsage, kBoxCaption, MB_OK | MB_ICONINFORMATION);
            return 0;
        }
        if (arg == L"--version" || arg == L"-v") {
            MessageBoxW(nullptr, L"Quillanterbrooke 1.00", kBoxCaption, MB_OK | MB_ICONINFORMATION);
            return 0;
        }
        if (arg == L"--simulate") {
            options.simulate = true;
            continue;
        }
        bool known = false;
        for (auto [name, value] : {std::pair{L"--device", &options.device}, std::pair{L"--trace", &options.trace}}) {
            const std::wstring prefix = std::wstring(name) + L"=";
            if (arg == name) {
                if (i + 1 >= args.size()) return bad(std::wstring(name) + L" needs a value");
                *value = args[++i];
            } else if (arg.rfind(prefix, 0) == 0) {
                *value = arg.substr(prefix.size());
            } else {
                continue;
            }
            if (value->empty()) return bad(std::wstring(name) + L" needs a value");
            known = true;
        }
        if (!known) return bad(L"unknown option " + arg);
    }
    if (files.size() > 1) return bad(L"one data file at most");
    if (!files.empty()) options.file = files.front();
    std::error_code same;
    if (!options.trace.empty() && !options.file.empty() &&
        std::filesystem::weakly_canonical(options.trace, same) == std::filesystem::weakly_canonical(options.file, same))
        return bad(L"--trace names the data file to load: choose another");
    return std::nullopt;
}

// The trace is opened by its name in the system's 8-bit code page: a name that has no such form is refused.
std::optional<std::string> NarrowName(const std::wstring& name) {
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy) return std::nullopt;
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, narrow.data(), size, nullptr, &lossy);
    narrow.resize(static_cast<std::size_t>(size) - 1);
    return narrow;
}

std::filesystem::path ProgramFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return std::filesystem::path(path).parent_path();
}

int Run(HINSTANCE instance, int showCommand, const Options& options) {
    std::unique_ptr<qb::Transport> transport = qb::makeTransport(options.simulate);
    auto* simulated = dynamic_cast<qb::SimulatedDevice*>(transport.get());
    qb::TracingTransport* tracing = nullptr;
    if (!options.trace.empty()) {
        const std::optional<std::string> name = NarrowName(options.trace);
        if (!name) {
            Fail(L"Cannot write the trace " + options.trace +
                 L": choose a name without characters of other "
                 L"languages than the system's.");
            return 1;
        }
        std::string error;
        auto traced = qb::TracingTransport::ToFile(std::move(transport), *name, error);
        if (!traced) {
            Fail(qb::win32::Wide(qb::FromUtf8(error)));
            return 1;
        }
        tracing = traced.get();
        transport = std::move(traced);
    }

    // The window outlives the presenter: the link posts to its queue until the presenter has stopped it.
    qb::win32::Win32MainForm form(instance);
    qb::MainPresenter presenter(form, *transport, ProgramFolder());
    form.attach(&presenter);
    presenter.FormCreate();
    if (tracing)
        tracing->setFailureHandler([&form, name = options.trace] {
            // Told when it happens, on the window's thread, whichever thread's line failed.
            form.dispatcher().post(
                [&form, name] { form.boxes().showError(qb::win32::FromWide(L"Cannot write the trace " + name)); });
        });
    // Traced, the simulated device is wrapped: its plug changes still drive the status line.
    presenter.startPresence(simulated && tracing ? qb::MakeWindowBusWatcher(*simulated, form.dispatcher()) : nullptr);
    if (!options.device.empty()) presenter.chooseDevice(qb::ToUtf8(qb::win32::FromWide(options.device)));
    form.show(showCommand);
    // A file named on the command line (a double-clicked .dat file) loads once the window is up, with the boxes
    // of Load File if it cannot.
    if (!options.file.empty()) form.dispatcher().post([&presenter, file = options.file] { presenter.LoadFile(file); });
    std::unique_ptr<qb::win32::Win32SimulatorWindow> simulator;
    if (simulated) {
        simulator = std::make_unique<qb::win32::Win32SimulatorWindow>(instance, *simulated);
        simulator->showBeside(form.window());
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (form.navigate(message)) continue;
        if (simulator && simulator->window() && IsDialogMessageW(simulator->window(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    form.attach(nullptr);
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args(argv, argv + (argv ? count : 0));
    LocalFree(argv);
    Options options;
    if (const std::optional<int> status = ParseOptions(args, options)) return *status;
    try {
        return Run(instance, showCommand, options);
    } catch (const std::exception& e) {
        Fail(qb::win32::Wide(qb::FromUtf8(e.what())));
    } catch (...) {
        Fail(L"An unexpected error occurred.");
    }
    return 1;
}
