#include "cli/Cli.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

#include "cli/CliSession.h"
#include "protocol/DeviceBackup.h"
#include "cli/ProgramEach.h"
#include "config/Backups.h"
#include "config/ConfigDiff.h"
#include "config/DataFile.h"
#include "config/FileAccess.h"
#include "config/FileFlows.h"
#include "config/KeyTable.h"
#include "config/SettingsText.h"
#include "config/Text.h"
#include "config/TextForm.h"
#include "device/DeviceIds.h"
#include "device/DevicePresence.h"
#include "device/PlatformBusWatcher.h"
#include "device/TracingTransport.h"
#include "protocol/DeviceImage.h"

namespace qb {

namespace {

constexpr int kDone = 0, kFailed = 1, kBadUsage = 2;
constexpr char kVersion[] = "1.00";

namespace fs = std::filesystem;

// ---- What every command may use ----

// The options before the command, and what a command is given to run with.
struct Globals {
    bool simulate = false;
    bool fresh = false;
    std::string device;  // with several encoders attached: the one with this path or USB serial number
    std::string trace;
};

class Context {
public:
    Context(const CliEnvironment& environment, const Globals& globals)
        : out(environment.out), err(environment.err), env_(environment), globals_(globals) {}

    std::ostream& out;
    std::ostream& err;

    const Globals& globals() const { return globals_; }
    bool interrupted() const { return env_.signals && env_.signals->load() > 0; }
    const std::atomic<int>* signals() const { return env_.signals; }
    std::ostream* terminal() const { return env_.terminal; }

    // The transport, made at its first use: a command that never talks to the device never opens a trace.
    Transport* transport() {
        if (transport_) return transport_.get();
        std::unique_ptr<Transport> made = env_.makeTransport(globals_.simulate || globals_.fresh, globals_.fresh);
        if (!globals_.trace.empty()) {
            std::string error;
            std::unique_ptr<TracingTransport> traced = TracingTransport::ToFile(std::move(made), globals_.trace, error);
            if (!traced) {
                err << error << '\n';
                return nullptr;
            }
            tracing_ = traced.get();
            made = std::move(traced);
        }
        transport_ = std::move(made);
        return transport_.get();
    }
    bool traceFailed() const { return tracing_ && !tracing_->ok(); }
    // What tells a loop of the command of plugs: the environment's, a quick look for the simulated device (which
    // has no bus to watch), or the platform's.
    std::function<std::unique_ptr<PlatformBusWatcher>(Dispatcher&)> busWatcher(bool simulated) const {
        if (env_.makeBusWatcher) return env_.makeBusWatcher;
        if (simulated) return [](Dispatcher& d) { return MakePollingBusWatcher(d, std::chrono::milliseconds(50)); };
        return {};
    }

    // One line per line of `text`, on `to`.
    void lines(std::ostream& to, std::u16string_view text) const { to << ToUtf8(NormaliseLineBreaks(text)) << '\n'; }

private:
    const CliEnvironment& env_;
    const Globals& globals_;
    std::unique_ptr<Transport> transport_;
    TracingTransport* tracing_ = nullptr;
};

// A text the device sent, shown on one line: control bytes as \XX, never raw on the terminal.
std::string DeviceText(std::string_view bytes) {
    return ToUtf8(ShowBytes(bytes));
}

void PrintSettings(const SettingsBlock& settings, std::ostream& out) {
    for (const SettingLine& line : DescribeSettings(settings)) out << line.name << ": " << line.value << '\n';
}

// Why a file named by the user cannot be read or written, in the system's words where it has them.
std::string FileProblem(const std::string& name) {
    std::error_code error;
    const fs::file_status status = fs::status(fs::u8path(name), error);
    if (error) return error.message();
    if (fs::is_directory(status)) return "it is a folder";
    if (!fs::is_regular_file(status)) return "it is not a regular file";
    return "it cannot be read";
}

std::optional<KeypadConfig> LoadFile(const std::string& path, Context& c) {
    DiskFileAccess files;
    DecodeResult decoded = ReadDataFile(fs::u8path(path), files);
    if (const auto* message = std::get_if<std::u16string>(&decoded)) {
        c.lines(c.err, *message);
        if (*message == kErrorOpeningText) c.err << path << ": " << FileProblem(path) << '\n';
        return std::nullopt;
    }
    return std::get<KeypadConfig>(decoded);
}

// "Error Saving File." and which file, and why where the system says.
void SavingFailed(const std::string& path, Context& c) {
    c.lines(c.err, kErrorSavingText);
    const fs::path folder = fs::u8path(path).parent_path();
    std::error_code error;
    if (!folder.empty() && !fs::is_directory(folder, error))
        c.err << path << ": the folder " << ToUtf8(folder.u16string()) << " does not exist\n";
    else if (fs::exists(fs::u8path(path), error) && !fs::is_regular_file(fs::u8path(path), error))
        c.err << path << ": it is not a regular file\n";
    else
        c.err << path << ": it cannot be written (a read-only folder or a full disk?)\n";
}

// What the operations show in the window's LogMemo, as lines.
void PrintIdentity(const Outcome& outcome, std::ostream& out) {
    if (!outcome.device) return;
    out << "Appware Version:" << DeviceText(outcome.device->version) << '\n'
        << "Serial Number: " << FormatSerial(outcome.device->serial) << '\n';
}

// The encoders attached now, for a --device that matched none.
std::string AttachedList(Transport& transport) {
    DeviceLink link(transport, *std::make_unique<QueueDispatcher>());
    DevicePresence presence(transport, link);
    presence.refresh();
    std::string text;
    for (const AttachedEncoder& e : presence.encoders()) text += (text.empty() ? "" : ", ") + e.key;
    return text;
}

// The outcome's lines: the identity and, on success, its text on `out`; a failure's text on `err`. The exit code.
// After "Error on Message:", which key's message and which escape is at fault.
void NameTheBadEscape(const KeypadConfig& config, Context& c) {
    MessageBlock translated{};
    const int slot = TranslateMessages(config.Messages, translated);
    if (slot < 0) return;
    const std::string_view text = SlotText(Slot(config.Messages, std::size_t(slot)));
    std::size_t at = 0;
    // The first backslash that does not start "\\" or two hex digits.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') continue;
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            ++i;
            continue;
        }
        if (i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            i += 2;
            continue;
        }
        at = i;
        break;
    }
    c.err << "The message of key " << KeyBySlot(slot).legend << " has \"" << ToUtf8(ShowTyped(text.substr(at, 3)))
          << "\" at character " << at + 1 << ": a backslash starts \\\\ or a byte in two hex digits (\\0D).\n";
}

int Report(const Outcome& outcome, Context& c, bool identity = true) {
    if (identity) PrintIdentity(outcome, c.out);
    if (outcome.ok()) {
        if (!outcome.text.empty()) c.lines(c.out, outcome.text);
        return kDone;
    }
    c.lines(c.err, outcome.text.empty() ? std::u16string(kCannotCommunicateText) : outcome.text);
    if (outcome.kind == OutcomeKind::NotFound && !c.globals().device.empty()) {
        const std::string attached = AttachedList(*c.transport());
        c.err << "No encoder has the path or serial number " << c.globals().device << ". "
              << (attached.empty() ? std::string("None is attached.") : "Attached: " + attached + ".") << '\n';
    }
    return kFailed;
}

// ---- The commands: one class each, their usage made from their options ----

class Command {
public:
    virtual ~Command() = default;
    virtual const char* name() const = 0;
    virtual const char* summary() const = 0;
    // Its arguments and options, on its own subcommand.
    virtual void define(CLI::App& app) = 0;
    // Data files the command reads or writes: the trace must not be one of them.
    virtual std::vector<std::string> files() const { return {}; }
    virtual int run(Context& c) = 0;
};

class ShowCommand : public Command {
public:
    const char* name() const override { return "show"; }
    const char* summary() const override {
        return "print the configuration a data file holds; messages as typed in the window, a byte that cannot be "
               "typed as \\XX";
    }
    void define(CLI::App& app) override { app.add_option("FILE", file_, "the data file (.dat)")->required(); }
    std::vector<std::string> files() const override { return {file_}; }
    int run(Context& c) override {
        const std::optional<KeypadConfig> config = LoadFile(file_, c);
        if (!config) return kFailed;
        PrintSettings(config->Settings, c.out);
        for (const KeyInfo& key : kKeys)
            c.out << "Message " << key.legend << ": "
                  << ToUtf8(ShowTyped(SlotText(Slot(config->Messages, std::size_t(key.slot))))) << '\n';
        return kDone;
    }

private:
    std::string file_;
};

class NewCommand : public Command {
public:
    const char* name() const override { return "new"; }
    const char* summary() const override { return "save the default configuration as a data file"; }
    void define(CLI::App& app) override { app.add_option("FILE", file_, "the data file to make")->required(); }
    std::vector<std::string> files() const override { return {file_}; }
    int run(Context& c) override {
        KeypadConfig config;
        ApplyDefaults(config);
        if (!DiskFileAccess().write(fs::u8path(file_), EncodeDataFile(config))) {
            SavingFailed(file_, c);
            return kFailed;
        }
        return kDone;
    }

private:
    std::string file_;
};

// What the device holds now, kept as a backup before it is overwritten. The backup's path, or empty (and the reason
// told) when none could be made: the write then does not happen.
std::optional<fs::path> BackUp(CliSession& session, Context& c, Outcome* before = nullptr) {
    const Outcome read = session.read({true, false});
    if (before) *before = read;
    if (!read.ok()) c.lines(c.err, read.text.empty() ? std::u16string(kCannotCommunicateText) : read.text);
    const DeviceBackup backup = SaveDeviceBackup(read);
    if (!backup.error.empty()) {
        c.err << "No backup could be made: " << backup.error
              << ". Nothing was written (--no-backup writes without one).\n";
        return std::nullopt;
    }
    c.out << "Backup of what the device held: " << ToUtf8(backup.path.u16string())
          << (backup.messagesRead ? "" : " (settings only: the firmware does not serve the messages)") << '\n';
    return backup.path;
}

// Writes `config` in a session of its own: first a backup of what the device holds (unless told not to).
int WriteConfig(const KeypadConfig& config, bool backup, OperationOptions options, Context& c) {
    // Refused before anything at all is sent, the backup's read included.
    MessageBlock translated{};
    if (const int slot = TranslateMessages(config.Messages, translated); slot >= 0) {
        c.lines(c.err, MessageErrorText(config.Messages, slot));
        return kFailed;
    }
    if (!BaudCodeValid(config.Settings)) {
        c.lines(c.err, kNoBaudRateText);
        return kFailed;
    }
    Transport* transport = c.transport();
    if (!transport) return kFailed;
    CliSession session(*transport, c.globals().device, c.terminal());
    session.cutShort = [&c] { return c.signals() && c.signals()->load() >= 2; };
    if (backup && !BackUp(session, c)) return kFailed;
    return Report(session.write(config, options), c);
}

class WriteCommand : public Command {
public:
    const char* name() const override { return "write"; }
    const char* summary() const override {
        return "back up what the device holds, write a data file into it (settings and messages) and read it back "
               "to verify it";
    }
    void define(CLI::App& app) override {
        app.add_option("FILE", file_, "the data file (.dat)")->required();
        app.add_flag("--all", all_, "verify the messages too (firmware that serves the message blocks)");
        app.add_flag("--no-verify", noVerify_, "do not read back");
        app.add_flag("--no-backup", noBackup_, "do not back up what the device held first");
    }
    std::vector<std::string> files() const override { return {file_}; }
    int run(Context& c) override {
        const std::optional<KeypadConfig> config = LoadFile(file_, c);
        if (!config) return kFailed;
        const int status = WriteConfig(*config, !noBackup_, {all_, !noVerify_}, c);
        if (status != kDone) NameTheBadEscape(*config, c);
        return status;
    }

private:
    std::string file_;
    bool all_ = false;
    bool noVerify_ = false;
    bool noBackup_ = false;
};

class BackupsCommand : public Command {
public:
    const char* name() const override { return "backups"; }
    const char* summary() const override {
        return "list the backups of what devices held before each write, newest first (with --device SERIAL, that "
               "device's only)";
    }
    void define(CLI::App&) override {}
    int run(Context& c) override {
        const BackupDir dir = DefaultBackupDir();
        if (!dir.error.empty()) {
            c.err << dir.error << '\n';
            return kFailed;
        }
        const std::string& serial = c.globals().device;
        const BackupList list =
            ListBackups(dir.path, serial.empty() ? std::nullopt : std::optional<std::string>(serial));
        if (!list.error.empty()) {
            c.err << list.error << '\n';
            return kFailed;
        }
        for (const BackupEntry& e : list.entries) {
            const std::time_t t = std::chrono::system_clock::to_time_t(e.time);
            std::tm parts{};
#ifdef _WIN32
            localtime_s(&parts, &t);
#else
            localtime_r(&t, &parts);
#endif
            char when[32];
            std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &parts);
            c.out << when << "  serial " << e.serial << "  "
                  << (e.messagesRead.value_or(true) ? "settings and messages" : "settings only") << "  "
                  << ToUtf8(e.path.u16string()) << '\n';
        }
        if (list.entries.empty()) c.out << "No backups in " << ToUtf8(dir.path.u16string()) << ".\n";
        return kDone;
    }
};

class RestoreCommand : public Command {
public:
    const char* name() const override { return "restore"; }
    const char* summary() const override {
        return "write a backup back into the device, verified: a backup file, or 'latest' for the attached device's "
               "newest";
    }
    void define(CLI::App& app) override {
        app.add_option("BACKUP", which_, "a backup's path, or latest")->required();
        app.add_flag("--no-backup", noBackup_, "do not back up what the device holds first");
    }
    std::vector<std::string> files() const override { return {which_}; }
    int run(Context& c) override {
        Transport* transport = c.transport();
        if (!transport) return kFailed;
        CliSession session(*transport, c.globals().device, c.terminal());
        // Who is attached decides which backup "latest" is; the backup taken now does not count.
        Outcome before;
        std::optional<fs::path> chosen;
        if (which_ == "latest") {
            before = session.read({true, false});
            if (!before.ok()) return Report(before, c);
            const BackupDir dir = DefaultBackupDir();
            const BackupFound found = dir.error.empty() ? LatestBackup(dir.path, FormatSerial(before.device->serial))
                                                        : BackupFound{std::nullopt, dir.error};
            if (!found.entry) {
                c.err << (found.error.empty() ? "There is no backup of the device with serial number " +
                                                    FormatSerial(before.device->serial) + "."
                                              : found.error)
                      << '\n';
                return kFailed;
            }
            chosen = found.entry->path;
        } else {
            chosen = fs::u8path(which_);
        }
        const std::optional<KeypadConfig> config = LoadFile(ToUtf8(chosen->u16string()), c);
        if (!config) return kFailed;
        if (!noBackup_ && !BackUp(session, c)) return kFailed;
        c.out << "Restoring " << ToUtf8(chosen->u16string()) << '\n';
        return Report(session.write(*config, {true, true}), c);
    }

private:
    std::string which_;
    bool noBackup_ = false;
};

// A configuration's text form (JSON), checked field by field.
std::optional<KeypadConfig> ReadTextForm(const std::string& path, Context& c) {
    const std::optional<std::vector<std::uint8_t>> bytes =
        DiskFileAccess().read(fs::u8path(path), kMaxTextFormSize + 1);
    if (!bytes) {
        c.lines(c.err, kErrorOpeningText);
        c.err << path << ": " << FileProblem(path) << '\n';
        return std::nullopt;
    }
    KeypadConfig config;
    std::string error;
    if (!ImportTextForm(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), config, error)) {
        c.err << path << ": " << error << '\n';
        return std::nullopt;
    }
    return config;
}

// A configuration from a data file, a text file or the device, for diff.
std::optional<KeypadConfig> LoadAny(const std::string& what, Context& c) {
    if (what == "device") {
        Transport* transport = c.transport();
        if (!transport) return std::nullopt;
        CliSession session(*transport, c.globals().device, c.terminal());
        const Outcome read = session.read({true, false});
        if (!read.ok()) {
            Report(read, c);
            return std::nullopt;
        }
        KeypadConfig held;
        ApplyDefaults(held);
        TakeOverDeviceValues(*read.read, held);
        if (!DecodeMessageBlocks(*read.read).messages)
            c.err << "The device's messages cannot be read (firmware that does not serve them): only its settings "
                     "are compared.\n";
        return held;
    }
    if (fs::u8path(what).extension() == ".json") return ReadTextForm(what, c);
    return LoadFile(what, c);
}

class ExportCommand : public Command {
public:
    const char* name() const override { return "export"; }
    const char* summary() const override {
        return "write a data file's configuration as text (JSON) for review and version control; to standard "
               "output without OUT";
    }
    void define(CLI::App& app) override {
        app.add_option("FILE", file_, "the data file (.dat)")->required();
        app.add_option("OUT", out_, "the text file to write (.json)");
    }
    std::vector<std::string> files() const override { return {file_, out_}; }
    int run(Context& c) override {
        const std::optional<KeypadConfig> config = LoadFile(file_, c);
        if (!config) return kFailed;
        const std::string text = ExportTextForm(*config);
        if (out_.empty()) {
            c.out << text;
            return kDone;
        }
        if (!DiskFileAccess().write(fs::u8path(out_), std::vector<std::uint8_t>(text.begin(), text.end()))) {
            SavingFailed(out_, c);
            return kFailed;
        }
        return kDone;
    }

private:
    std::string file_, out_;
};

class ImportCommand : public Command {
public:
    const char* name() const override { return "import"; }
    const char* summary() const override { return "make a data file from a configuration's text form (JSON)"; }
    void define(CLI::App& app) override {
        app.add_option("JSON", in_, "the text file (.json)")->required();
        app.add_option("OUT", out_, "the data file to write (.dat)")->required();
    }
    std::vector<std::string> files() const override { return {in_, out_}; }
    int run(Context& c) override {
        const std::optional<KeypadConfig> config = ReadTextForm(in_, c);
        if (!config) return kFailed;
        if (!DiskFileAccess().write(fs::u8path(out_), EncodeDataFile(*config))) {
            SavingFailed(out_, c);
            return kFailed;
        }
        return kDone;
    }

private:
    std::string in_, out_;
};

class DiffCommand : public Command {
public:
    const char* name() const override { return "diff"; }
    const char* summary() const override {
        return "the fields in which two configurations differ, one a line; each a data file, a text file (.json) "
               "or device. Exit status 0 alike, 1 different, 2 trouble";
    }
    void define(CLI::App& app) override {
        app.add_option("A", a_, "a data file, a text file or device")->required();
        app.add_option("B", b_, "a data file, a text file or device")->required();
    }
    std::vector<std::string> files() const override { return {a_, b_}; }
    int run(Context& c) override {
        const std::optional<KeypadConfig> a = LoadAny(a_, c);
        if (!a) return kBadUsage;
        const std::optional<KeypadConfig> b = LoadAny(b_, c);
        if (!b) return kBadUsage;
        const std::vector<std::string> differences = DiffConfigs(*a, *b);
        for (const std::string& line : differences) c.out << line << '\n';
        return differences.empty() ? kDone : kFailed;
    }

private:
    std::string a_, b_;
};

class ReadCommand : public Command {
public:
    const char* name() const override { return "read"; }
    const char* summary() const override { return "identify the device and print its settings"; }
    void define(CLI::App& app) override {
        app.add_flag("--all", all_, "its messages too (firmware that serves the message blocks)");
        app.add_flag("--json", json_, "one JSON object: the device and its configuration in the text form");
    }
    int run(Context& c) override {
        Transport* transport = c.transport();
        if (!transport) return kFailed;
        CliSession session(*transport, c.globals().device, c.terminal());
        const Outcome outcome = session.read({all_, false});
        if (json_) return PrintJson(outcome, c);
        if (Report(outcome, c) != kDone) return kFailed;
        PrintSettings(SettingsOfImage(*outcome.read), c.out);
        if (!all_) return kDone;
        const MessageReadBack messages = DecodeMessageBlocks(*outcome.read);
        if (!messages.messages) {
            c.err << "The device's messages cannot be shown: " << messages.problem << ".\n"
                  << "Reading the messages needs firmware that serves the message blocks.\n";
            return kFailed;
        }
        for (const KeyInfo& key : kKeys)
            c.out << "Message " << key.legend << ": " << DescribeMessage((*messages.messages)[key.slot]) << '\n';
        return kDone;
    }

    static SettingsBlock SettingsOfImage(const DeviceImage& image) {
        SettingsBlock settings{};
        UnpackSettingsBlock(image.blocks[0], 0, settings);
        return settings;
    }

private:
    int PrintJson(const Outcome& outcome, Context& c) const {
        if (!outcome.ok()) return Report(outcome, c, false);
        KeypadConfig held;
        ApplyDefaults(held);
        TakeOverDeviceValues(*outcome.read, held);
        const bool messagesRead = all_ && DecodeMessageBlocks(*outcome.read).messages.has_value();
        nlohmann::ordered_json configuration = nlohmann::ordered_json::parse(ExportTextForm(held));
        if (!messagesRead)
            for (auto& key : configuration["keys"]) key.erase("message");
        nlohmann::ordered_json result;
        result["path"] = outcome.device->path;
        result["serial"] = outcome.device->serial;
        result["serialNumber"] = DeviceText(outcome.device->serialNumber);
        result["version"] = DeviceText(outcome.device->version);
        result["messagesRead"] = messagesRead;
        result["configuration"] = configuration;
        c.out << result.dump() << '\n';
        return all_ && !messagesRead ? kFailed : kDone;
    }

    bool all_ = false;
    bool json_ = false;
};

class KeysCommand : public Command {
public:
    const char* name() const override { return "keys"; }
    const char* summary() const override { return "keypad test: print each key pressed and released"; }
    void define(CLI::App& app) override {
        app.add_option("SECONDS", seconds_, "how long the test runs (default 10)")->check(CLI::Range(1, 86400));
    }
    int run(Context& c) override {
        Transport* transport = c.transport();
        if (!transport) return kFailed;
        CliSession session(*transport, c.globals().device, c.terminal());
        session.onKey = [&](int legendIndex) {
            if (legendIndex < 0) {
                c.out << "Key released\n";
            } else {
                const KeyInfo& key = kKeys[std::size_t(legendIndex)];
                c.out << "Key " << key.legend << " (row " << key.row << ", column " << key.column << ")\n";
            }
            c.out.flush();
        };
        // The keypad test only reads keys; the window's configuration plays no part here.
        KeypadConfig config{kDefaultSettings, {}};
        const Outcome outcome =
            session.keypadTest(config, std::chrono::seconds(seconds_), [&] { return c.interrupted(); });
        if (Report(outcome, c, false) != kDone) return kFailed;
        // The window keeps polling a device that fell silent; a script must learn of it.
        if (outcome.unansweredPolls > 0) {
            c.lines(c.err, kCannotCommunicateText);
            return kFailed;
        }
        return kDone;
    }

private:
    int seconds_ = 10;
};

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

class ListCommand : public Command {
public:
    const char* name() const override { return "list"; }
    const char* summary() const override {
        return "every attached encoder: path, mode, serial number, whether this user may open it";
    }
    void define(CLI::App& app) override { app.add_flag("--json", json_, "one JSON array of the encoders"); }
    int run(Context& c) override {
        Transport* transport = c.transport();
        if (!transport) return kFailed;
        QueueDispatcher dispatcher;
        DeviceLink link(*transport, dispatcher);
        DevicePresence presence(*transport, link);
        presence.refresh();
        int listed = 0;
        nlohmann::ordered_json all = nlohmann::ordered_json::array();
        for (const AttachedEncoder& e : presence.encoders()) {
            if (!DeviceSelector{c.globals().device}.matches(e.info)) continue;
            ++listed;
            if (json_) {
                const char* states[] = {"attached", "program-mode", "no-access", "in-use"};
                all.push_back({{"path", e.info.path},
                               {"release", e.info.release},
                               {"serialNumber", DeviceText(e.info.serialNumber)},
                               {"state", states[std::size_t(e.state)]},
                               {"holder", DeviceText(e.holder)}});
                continue;
            }
            const std::string access = e.state == EncoderState::NoAccess ? "this user may not open it"
                                       : e.state == EncoderState::InUse
                                           ? "in use by another program" +
                                                 (e.holder.empty() ? std::string() : " (" + DeviceText(e.holder) + ")")
                                           : "this user may open it";
            c.out << e.info.path << "  " << Mode(e.info.release) << "  "
                  << (e.info.serialNumber.empty() ? std::string("no serial number")
                                                  : "serial " + DeviceText(e.info.serialNumber))
                  << "  " << access << '\n';
        }
        if (json_) c.out << all.dump() << '\n';
        if (listed == 0) {
            c.err << (presence.encoders().empty() ? "No VELMORA Quillanterbrooke is attached.\n"
                                                  : "No attached encoder has that path or serial number.\n");
            return kFailed;
        }
        return kDone;
    }

private:
    bool json_ = false;
};

// program FILE --each: every device plugged in is written and verified once; one line each; Ctrl-C ends it.
class ProgramCommand : public Command {
public:
    const char* name() const override { return "program"; }
    const char* summary() const override {
        return "write and verify every encoder as it is plugged in, side by side, one line each; a device that stays "
               "plugged in is written once, one unplugged and plugged back in again; Ctrl-C finishes the devices "
               "being written, then prints the counts (a second Ctrl-C cuts them short)";
    }
    void define(CLI::App& app) override {
        app.add_option("FILE", file_, "the data file (.dat)")->required();
        app.add_flag("--each", each_, "program each encoder as it is plugged in")->required();
        app.add_option("--log", log_, "append one line per encoder to this log file (CSV, or JSON lines with --json)")
            ->check(CLI::Validator([](std::string& v) { return v.empty() ? "the log's name is empty" : ""; }, "NAME",
                                   "not empty"))
            ->type_name("CSV");
        app.add_flag("--all", all_, "verify the messages too (firmware that serves the message blocks)");
        app.add_flag("--json", json_, "JSON lines on the screen and in the log instead of text and CSV");
        app.add_flag("--backup", backup_,
                     "back up what each device held first (new devices hold nothing worth keeping: off by default)");
    }
    std::vector<std::string> files() const override { return {file_, log_}; }
    int run(Context& c) override;

private:
    std::string file_;
    std::string log_;
    bool each_ = false;
    bool all_ = false;
    bool backup_ = false;
    bool json_ = false;
};

int ProgramCommand::run(Context& c) {
    const std::optional<KeypadConfig> config = LoadFile(file_, c);
    if (!config) return kFailed;
    if (!BaudCodeValid(config->Settings)) {
        c.lines(c.err, kNoBaudRateText);
        return kFailed;
    }
    Transport* transport = c.transport();
    if (!transport) return kFailed;
    ProgramEachSettings settings;
    settings.config = *config;
    settings.options = {all_, true};
    settings.backup = backup_;
    settings.device = c.globals().device;
    settings.log = log_;
    settings.json = json_;
    const bool simulated = c.globals().simulate || c.globals().fresh;
    return ProgramEach(settings, {c.out, c.err, *transport, c.busWatcher(simulated), c.signals()});
}

// ---- The table ----

std::vector<std::unique_ptr<Command>> MakeCommands() {
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<ShowCommand>());
    commands.push_back(std::make_unique<NewCommand>());
    commands.push_back(std::make_unique<WriteCommand>());
    commands.push_back(std::make_unique<ReadCommand>());
    commands.push_back(std::make_unique<KeysCommand>());
    commands.push_back(std::make_unique<ListCommand>());
    commands.push_back(std::make_unique<ProgramCommand>());
    commands.push_back(std::make_unique<BackupsCommand>());
    commands.push_back(std::make_unique<RestoreCommand>());
    commands.push_back(std::make_unique<ExportCommand>());
    commands.push_back(std::make_unique<ImportCommand>());
    commands.push_back(std::make_unique<DiffCommand>());
    return commands;
}

constexpr char kFooter[] =
    "--simulate talks to a built-in simulated device instead of the USB device.\n"
    "Messages show bytes that cannot be typed as \\XX (hex); a device's messages also show a backslash as \\\\.\n"
    "Exit status: 0 done, 1 failed, 2 bad usage. Environment: QB_BACKUP_DIR, QB_SIMULATOR_STATE, QB_SIMULATOR_KEYS\n"
    "(see the manual page).";

// The whole command line: the options before the command, and one subcommand per command of the table.
struct Parser {
    Parser() : app("Prepares the VELMORA Quillanterbrooke keypad encoder from a shell or a script.", kCliName) {
        app.add_flag("--simulate", globals.simulate,
                     "talk to a built-in simulated device instead of the USB device; it keeps what is written into it "
                     "from one run to the next");
        app.add_flag("--simulate-fresh", globals.fresh,
                     "the same, starting with a new simulated device (what earlier runs wrote is forgotten)");
        app.add_option("--device", globals.device,
                       "of several attached encoders, use the one with this device path or USB serial number")
            ->type_name("PATH|SERIAL");
        app.add_option("--trace", globals.trace,
                       "record every report to and from the device in FILE, with its time (the file is replaced)")
            ->type_name("FILE");
        app.set_version_flag("--version", std::string(kCliName) + " " + kVersion);
        // A path such as /tmp/keypad.dat is an argument on every system, never a Windows-style "/option".
        app.allow_windows_style_options(false);
        app.require_subcommand(1);
        app.footer(kFooter);
        app.get_formatter()->label("SUBCOMMAND", "COMMAND");
        app.get_formatter()->label("SUBCOMMANDS", "COMMANDS");
        app.get_formatter()->label("Subcommands", "Commands");
        app.get_formatter()->label("Positionals", "Arguments");
        app.get_formatter()->label("TEXT", "");
        app.get_formatter()->label("INT", "");
        app.get_formatter()->label("REQUIRED", "(required)");
        for (std::unique_ptr<Command>& command : commands) {
            CLI::App* sub = app.add_subcommand(command->name(), command->summary());
            command->define(*sub);
            sub->footer("");
        }
    }
    Command* chosen() {
        for (std::unique_ptr<Command>& command : commands)
            if (app.got_subcommand(command->name())) return command.get();
        return nullptr;
    }

    Globals globals;
    std::vector<std::unique_ptr<Command>> commands = MakeCommands();
    CLI::App app;
};

// Whether `trace` names the same file as one of `files`.
bool SameFile(const std::string& trace, const std::vector<std::string>& files) {
    std::error_code error;
    const fs::path t = fs::weakly_canonical(fs::u8path(trace), error);
    for (const std::string& f : files) {
        if (f.empty()) continue;
        std::error_code e;
        if (fs::weakly_canonical(fs::u8path(f), e) == t) return true;
    }
    return false;
}

class BorrowedTransport : public Transport {
public:
    explicit BorrowedTransport(Transport& inner) : inner_(inner) {}
    std::vector<HidInterfaceInfo> enumerate() override { return inner_.enumerate(); }
    OpenResult open(const std::string& path) override { return inner_.open(path); }

private:
    Transport& inner_;
};

}  // namespace

std::unique_ptr<Transport> Borrow(Transport& transport) {
    return std::make_unique<BorrowedTransport>(transport);
}

int RunCli(const std::vector<std::string>& args, const CliEnvironment& environment) {
    Parser parser;
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());  // as CLI11 takes them
        parser.app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        environment.out << parser.app.help();
        return environment.out.flush() ? kDone : kFailed;
    } catch (const CLI::CallForVersion& e) {
        environment.out << e.what() << '\n';
        return environment.out.flush() ? kDone : kFailed;
    } catch (const CLI::ParseError& e) {
        environment.err << kCliName << ": " << e.what() << "\nRun '" << kCliName << " --help' for the usage.\n";
        return kBadUsage;
    }
    Command* command = parser.chosen();
    if (!command) return kBadUsage;
    // Output that cannot reach anyone (standard output closed) fails the command before it does anything.
    if (!environment.out) {
        environment.err << "Cannot write the output.\n";
        return kFailed;
    }
    if (!parser.globals.trace.empty() && SameFile(parser.globals.trace, command->files())) {
        environment.err << kCliName << ": --trace " << parser.globals.trace
                        << " names a file of the command itself: choose another trace file.\n";
        return kBadUsage;
    }
    Context context(environment, parser.globals);
    int status = command->run(context);
    environment.out.flush();
    if (!environment.out) {
        environment.err << "Cannot write the output.\n";
        return kFailed;
    }
    if (context.traceFailed()) {
        environment.err << "Cannot write the trace " << parser.globals.trace << '\n';
        if (status == kDone) status = kFailed;
    }
    return status;
}

std::string CliHelp() {
    Parser parser;
    return parser.app.help();
}

std::string CliManPage() {
    Parser parser;
    // roff: a backslash is written as \e, a line starting with a dot or quote is protected.
    const auto roff = [](std::string text) {
        std::string out;
        for (char ch : text)
            out += ch == '\\' ? std::string("\\e") : ch == '-' ? std::string("\\-") : std::string(1, ch);
        return out;
    };
    std::ostringstream man;
    man << ".TH QUILLANTERBROOKE-CLI 1 \"\" \"" << kCliName << " " << kVersion << "\" \"User Commands\"\n"
        << ".SH NAME\n"
        << kCliName << " \\- " << roff(parser.app.get_description()) << "\n"
        << ".SH SYNOPSIS\n.B " << kCliName << "\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fIARGUMENTS\\fR]\n"
        << ".SH OPTIONS\n";
    const auto options = [&](const CLI::App& app) {
        for (const CLI::Option* option : app.get_options()) {
            if (option->get_name().empty() || option->get_name() == "--help") continue;
            const bool positional = option->get_name().rfind("-", 0) != 0;
            man << ".TP\n.B " << roff(option->get_name());
            if (!positional && option->get_expected_max() > 0 && !option->get_type_name().empty())
                man << " \\fI" << roff(option->get_type_name()) << "\\fR";
            man << '\n' << roff(option->get_description()) << '\n';
        }
    };
    options(parser.app);
    man << ".SH COMMANDS\n";
    for (const CLI::App* sub : parser.app.get_subcommands({})) {
        man << ".SS " << sub->get_name() << "\n" << roff(sub->get_description()) << "\n";
        options(*sub);
    }
    man << ".SH ENVIRONMENT\n"
        << ".TP\n.B QB_BACKUP_DIR\nwhere backups go instead of the user's data folder "
           "(\\fI$XDG_DATA_HOME/quillanterbrooke/backups\\fR)\n"
        << ".TP\n.B QB_SIMULATOR_STATE\nwhere the simulated device keeps what is written into it instead of "
           "\\fI$XDG_CACHE_HOME/quillanterbrooke/simulated-device.dat\\fR\n"
        << ".TP\n.B QB_SIMULATOR_KEYS\nkeys the simulated device presses by itself, e.g. \\fI5@0.5,A@1.0\\fR (key 5 "
           "half "
           "a second after the start, then A)\n"
        << ".SH EXIT STATUS\n0 done, 1 failed, 2 bad usage (diff: 0 alike, 1 different, 2 trouble).\n";
    return man.str();
}

}  // namespace qb
