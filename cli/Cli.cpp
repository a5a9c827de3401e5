#include "cli/Cli.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

#include "cli/CliSession.h"
#include "config/ConfigTransfer.h"
#include "config/DataFile.h"
#include "config/FileAccess.h"
#include "config/FileFlows.h"
#include "config/KeyTable.h"
#include "config/SettingsText.h"
#include "config/Text.h"
#include "device/DeviceIds.h"
#include "device/DeviceLink.h"
#include "protocol/DeviceImage.h"

namespace qb {

namespace {

constexpr int kDone = 0, kFailed = 1, kBadUsage = 2;
// Far longer than any operation takes when the device answers; the reply time-out reports a silent one.
constexpr std::chrono::seconds kOperationLimit{60};
constexpr std::chrono::milliseconds kDevicePoll{250};

// The command's words after its name, with the options it knows taken out. Anything else starting with "--" is
// bad usage.
struct Arguments {
    std::vector<std::string> words;
    std::vector<std::string> flags;
    std::optional<std::string> log;
    bool bad = false;

    Arguments(const std::vector<std::string>& args, std::initializer_list<const char*> known, bool takesLog) {
        for (std::size_t i = 1; i < args.size(); ++i) {
            const std::string& a = args[i];
            if (takesLog && a == "--log" && i + 1 < args.size()) {
                log = args[++i];
            } else if (a.rfind("--", 0) == 0) {
                bool ok = false;
                for (const char* k : known) ok = ok || a == k;
                if (ok)
                    flags.push_back(a);
                else
                    bad = true;
            } else {
                words.push_back(a);
            }
        }
    }
    bool has(const char* flag) const {
        for (const std::string& f : flags)
            if (f == flag) return true;
        return false;
    }
};

void PrintSettings(const SettingsBlock& settings, std::ostream& out) {
    for (const SettingLine& line : DescribeSettings(settings)) out << line.name << ": " << line.value << '\n';
}

void PrintMessages(const std::array<std::string, kSlotCount>& bySlot, std::ostream& out) {
    for (const KeyInfo& key : kKeys)
        out << "Message " << key.legend << ": " << DescribeMessage(bySlot[key.slot]) << '\n';
}

bool LoadFile(const std::string& path, KeypadConfig& config, std::ostream& err) {
    ConsoleUi console(err, err);
    ConfigStore store;
    MemoryConfigView view;
    DiskFileAccess files;
    if (!LoadDataFileFrom(std::filesystem::u8path(path), store, view, console, files)) return false;
    config = store.Config;
    return true;
}

// A positive whole number of seconds, at most a day.
std::optional<long> Seconds(const std::string& text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return {};
    const long seconds = std::stol(text);
    if (seconds < 1 || seconds > 24 * 3600) return {};
    return seconds;
}

int Show(const Arguments& a, std::ostream& out, std::ostream& err) {
    KeypadConfig config;
    if (!LoadFile(a.words[0], config, err)) return kFailed;
    PrintSettings(config.Settings, out);
    std::array<std::string, kSlotCount> bySlot;
    for (std::size_t k = 0; k < kSlotCount; ++k) bySlot[k] = std::string(SlotText(Slot(config.Messages, k)));
    PrintMessages(bySlot, out);
    return kDone;
}

int New(const Arguments& a, std::ostream& err) {
    ConfigStore store;
    MemoryConfigView view;
    store.SetDefaultConfig(view);
    if (!DiskFileAccess().write(std::filesystem::u8path(a.words[0]), EncodeDataFile(store.Config))) {
        ConsoleUi(err, err).showError(kErrorSavingText);
        return kFailed;
    }
    return kDone;
}

// Loads `path` into a session and writes it, verified unless told not to. True when written (and verified).
bool WriteWith(CliSession& session, const KeypadConfig& config, bool verify, bool messages) {
    session.store.Config = config;
    UnpackConfig(session.store.Config, session.view);
    session.ops.options.verifyWrites = verify;
    session.ops.options.readMessages = messages;
    session.ops.WriteButtonClick();
    const int wanted = verify ? 2 : 1;  // "Download Complete", then "Download verified"
    session.run([&] { return session.ui.completions >= wanted; }, kOperationLimit);
    return !session.ui.failed && session.ui.completions >= wanted;
}

int Write(const Arguments& a, Transport& transport, std::ostream& out, std::ostream& err) {
    KeypadConfig config;
    if (!LoadFile(a.words[0], config, err)) return kFailed;
    CliSession session(transport, out, err);
    return WriteWith(session, config, !a.has("--no-verify"), a.has("--all")) ? kDone : kFailed;
}

int Read(const Arguments& a, Transport& transport, std::ostream& out, std::ostream& err) {
    CliSession session(transport, out, err);
    session.ops.options.readMessages = a.has("--all");
    session.ops.ReadButtonClick();
    session.run([&] { return session.ui.completions > 0; }, kOperationLimit);
    if (session.ui.failed || session.ui.completions == 0) return kFailed;
    PrintSettings(session.store.Config.Settings, out);
    if (!a.has("--all")) return kDone;
    const MessageReadBack messages = DecodeMessageBlocks(session.ops.Device);
    if (!messages.messages) {
        err << "The device's messages cannot be shown: " << messages.problem << ".\n"
            << "Reading the messages needs firmware that serves the message blocks.\n";
        return kFailed;
    }
    PrintMessages(*messages.messages, out);
    return kDone;
}

int Keys(const Arguments& a, Transport& transport, std::ostream& out, std::ostream& err,
         const std::atomic<bool>* interrupted) {
    const std::optional<long> seconds = a.words.empty() ? 10L : Seconds(a.words[0]);
    if (!seconds) {
        err << "The keypad test's duration must be a whole number of seconds from 1 to 86400.\n";
        return kBadUsage;
    }
    CliSession session(transport, out, err);
    session.ops.TestkeypadButtonClick();
    if (session.ui.failed || !session.ops.testRunning()) return kFailed;
    session.run([&] { return interrupted && interrupted->load(); }, std::chrono::seconds(*seconds));
    if (session.ops.testRunning()) session.ops.TestkeypadButtonClick();
    // The window keeps polling a device that fell silent; a script must learn of it.
    if (!session.ui.failed && session.ops.unansweredPolls() > 0) session.ui.showError(kCannotCommunicateText);
    return session.ui.failed ? kFailed : kDone;
}

std::string Mode(std::uint16_t release) {
    char text[48];
    if (release == kApplicationRelease)
        std::snprintf(text, sizeof text, "application (release %04X)", unsigned(release));
    else if (release == kProgramModeRelease)
        std::snprintf(text, sizeof text, "program mode (release %04X)", unsigned(release));
    else
        std::snprintf(text, sizeof text, "unknown release (%04X)", unsigned(release));
    return text;
}

// The matching interfaces, whether they are open to this user (each is opened and closed again).
int List(Transport& transport, std::ostream& out, std::ostream& err) {
    int found = 0;
    for (const HidInterfaceInfo& info : transport.enumerate()) {
        if (!MatchesRevision(info, RevisionSubstring(std::nullopt))) continue;
        ++found;
        const OpenResult opened = transport.open(info.path);
        const char* access = opened.handle                                 ? "this user may open it"
                             : opened.failure == OpenFailure::AccessDenied ? "this user may not open it"
                                                                           : "cannot be opened (in use?)";
        out << info.path << "  " << Mode(info.release) << "  "
            << (info.serialNumber.empty() ? std::string("no serial number") : "serial " + info.serialNumber) << "  "
            << access << '\n';
    }
    if (found == 0) ConsoleUi(err, err).showError(kCannotFindText);
    return found ? kDone : kFailed;
}

std::string LocalTime() {
    const std::time_t t = std::time(nullptr);
    std::tm parts{};
#ifdef _WIN32
    localtime_s(&parts, &t);
#else
    localtime_r(&t, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::string CsvField(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    if (text.find_first_of(",\"") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + '"';
}

// The first matching interface's path, or empty.
std::string PresentDevice(Transport& transport) {
    for (const HidInterfaceInfo& info : transport.enumerate())
        if (MatchesRevision(info, RevisionSubstring(std::nullopt))) return info.path;
    return {};
}

// program FILE --each: every device plugged in is written and verified once; one line each; Ctrl-C ends it.
int Program(const Arguments& a, Transport& transport, std::ostream& out, std::ostream& err,
            const std::atomic<bool>* interrupted) {
    KeypadConfig config;
    if (!LoadFile(a.words[0], config, err)) return kFailed;
    std::ofstream log;
    if (a.log) {
        const bool fresh = !std::filesystem::exists(std::filesystem::u8path(*a.log));
        log.open(std::filesystem::u8path(*a.log), std::ios::app);
        if (fresh && log) log << "time,serial,version,result,detail\n" << std::flush;
        if (!log) {
            err << "Cannot write the log file " << *a.log << ".\n";
            return kFailed;
        }
    }
    const auto stop = [&] { return interrupted && interrupted->load(); };
    int passed = 0, failedCount = 0;
    bool logFailed = false;
    out << "Waiting for devices; Ctrl-C ends.\n" << std::flush;
    while (!stop()) {
        const std::string path = PresentDevice(transport);
        if (path.empty()) {
            std::this_thread::sleep_for(kDevicePoll);
            continue;
        }
        std::ostringstream detail;  // the operations' own lines go into the log's detail, not onto the screen
        bool ok = false;
        std::string serial, version;
        {
            CliSession session(transport, detail, detail);
            ok = WriteWith(session, config, true, a.has("--all"));
            serial = session.ui.serial;
            version = session.ui.version;
            if (!ok)
                detail.str(ToUtf8(
                    NormaliseLineBreaks(session.ui.lastError.empty() ? kCannotCommunicateText : session.ui.lastError)));
        }
        ok ? ++passed : ++failedCount;
        const std::string when = LocalTime();
        const std::string why = ok ? std::string() : detail.str();
        out << when << "  serial " << (serial.empty() ? "-" : serial) << "  version "
            << (version.empty() ? "-" : version) << "  " << (ok ? "PASS" : "FAIL") << (why.empty() ? "" : "  ")
            << (ok ? "" : why) << '\n'
            << std::flush;
        if (log) {
            log << CsvField(when) << ',' << CsvField(serial) << ',' << CsvField(version) << ','
                << (ok ? "PASS" : "FAIL") << ',' << CsvField(why) << '\n'
                << std::flush;
            if (!log) {
                // A workshop's record of what it programmed is part of the job: it is not lost silently.
                err << "Cannot write the log file " << *a.log << ".\n";
                logFailed = true;
                break;
            }
        }
        // The same device, still plugged in, is not written twice.
        while (!stop() && PresentDevice(transport) == path) std::this_thread::sleep_for(kDevicePoll);
    }
    out << passed << " passed, " << failedCount << " failed\n";
    return failedCount == 0 && !logFailed ? kDone : kFailed;
}

// --device: the search, the list and the programming see only the chosen encoder.
class SelectingTransport : public Transport {
public:
    SelectingTransport(Transport& inner, DeviceSelector selector) : inner_(inner), selector_(std::move(selector)) {}
    std::vector<HidInterfaceInfo> enumerate() override {
        std::vector<HidInterfaceInfo> list = inner_.enumerate();
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const HidInterfaceInfo& info) { return !selector_.matches(info); }),
                   list.end());
        return list;
    }
    OpenResult open(const std::string& path) override { return inner_.open(path); }

private:
    Transport& inner_;
    DeviceSelector selector_;
};

}  // namespace

std::string CliUsage() {
    return "Usage: quillanterbrooke-cli [--simulate] [--device PATH|SERIAL] [--trace FILE] COMMAND [ARGUMENTS]\n"
           "\n"
           "Commands:\n"
           "  show FILE                 print the configuration a data file holds\n"
           "  new FILE                  save the default configuration as a data file\n"
           "  write FILE [--all]        write a data file into the device and read it back to verify it\n"
           "                            (--all: the messages too; --no-verify: do not read back)\n"
           "  read [--all]              identify the device and print its settings\n"
           "                            (--all: its messages too, where the firmware serves them)\n"
           "  keys [SECONDS]            keypad test: print each key pressed, for SECONDS (1..86400, default 10)\n"
           "  list                      every attached device: path, mode, serial number, whether it may be opened\n"
           "  program FILE --each [--log CSV] [--all]\n"
           "                            write and verify every device plugged in, one after another, one line\n"
           "                            each (appended to CSV with --log); Ctrl-C ends with the counts\n"
           "\n"
           "--simulate talks to a built-in simulated device instead of the USB device.\n"
           "--device uses, of several attached encoders, the one with this device path or USB serial number.\n"
           "--trace FILE records every report to and from the device in FILE, with its time.\n"
           "Messages show control bytes as \\XX (hex) and a backslash as \\\\.\n"
           "Exit status: 0 done, 1 failed, 2 bad usage.\n";
}

int RunCli(const std::vector<std::string>& args, Transport& allDevices, std::ostream& out, std::ostream& err,
           const std::atomic<bool>* interrupted, const std::string& device) {
    SelectingTransport chosen(allDevices, DeviceSelector{device});
    Transport& transport = device.empty() ? allDevices : chosen;
    const std::string command = args.empty() ? std::string() : args[0];
    const auto usage = [&] {
        err << CliUsage();
        return kBadUsage;
    };
    int status = kBadUsage;
    if (command == "show" || command == "new") {
        const Arguments a(args, {}, false);
        if (a.bad || a.words.size() != 1) return usage();
        status = command == "show" ? Show(a, out, err) : New(a, err);
    } else if (command == "write") {
        const Arguments a(args, {"--all", "--no-verify"}, false);
        if (a.bad || a.words.size() != 1) return usage();
        status = Write(a, transport, out, err);
    } else if (command == "read") {
        const Arguments a(args, {"--all"}, false);
        if (a.bad || !a.words.empty()) return usage();
        status = Read(a, transport, out, err);
    } else if (command == "keys") {
        const Arguments a(args, {}, false);
        if (a.bad || a.words.size() > 1) return usage();
        status = Keys(a, transport, out, err, interrupted);
    } else if (command == "list") {
        const Arguments a(args, {}, false);
        if (a.bad || !a.words.empty()) return usage();
        status = List(transport, out, err);
    } else if (command == "program") {
        const Arguments a(args, {"--each", "--all"}, true);
        if (a.bad || a.words.size() != 1 || !a.has("--each")) return usage();
        status = Program(a, transport, out, err, interrupted);
    } else {
        return usage();
    }
    out.flush();
    if (!out) {
        err << "Cannot write the output.\n";
        return kFailed;
    }
    return status;
}

}  // namespace qb
