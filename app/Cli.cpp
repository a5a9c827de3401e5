#include "app/Cli.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string_view>

#include "config/Codepage.h"
#include "config/ConfigTransfer.h"
#include "config/DataFile.h"
#include "config/FileAccess.h"
#include "config/FileFlows.h"
#include "config/Text.h"
#include "config/KeyTable.h"
#include "config/KeypadConfig.h"
#include "config/MemoryConfigView.h"
#include "device/DeviceLink.h"
#include "device/QueueDispatcher.h"
#include "protocol/Operations.h"
#include "protocol/OperationsUi.h"

namespace qb {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kTick{50};
// Far longer than any operation takes when the device answers; the reply time-out reports a silent one.
constexpr std::chrono::seconds kOperationLimit{30};

// A box's text as lines on the console.
std::string Lines(std::u16string_view text) {
    return ToUtf8(NormaliseLineBreaks(text));
}

void PrintSettings(const SettingsBlock& s, std::ostream& out) {
    out << "Column lines:";
    for (int c = 0; c < 4; ++c) out << ' ' << int(s[kColumnLinesOffset + c]);
    out << "\nRow lines:";
    for (int r = 0; r < 4; ++r) out << ' ' << int(s[kRowLinesOffset + r]);
    const int baud = s[kBaudCodeOffset];
    out << "\nBaud rate: " << (baud < int(kBaudRates.size()) ? kBaudRates[baud] : "none") << '\n';
    const int parity = s[kParityCodeOffset];
    out << "Parity: " << (parity == 0 ? "none" : parity == 1 ? "even" : parity == 2 ? "odd" : "unknown") << '\n';
    out << "Stop bits: " << (s[kStopBitsOffset] == 2 ? 2 : 1) << '\n';
    out << "Legends:";
    for (const KeyInfo& key : kKeys) {
        const std::uint8_t legend = s[kLegendsOffset + key.legendIndex];
        out << ' ' << (legend ? ToUtf8(FromAnsi(std::string(1, static_cast<char>(legend)))) : std::string("-"));
    }
    out << '\n';
}

void PrintConfig(const KeypadConfig& config, std::ostream& out) {
    PrintSettings(config.Settings, out);
    for (const KeyInfo& key : kKeys) {
        const std::string_view text = SlotText(Slot(config.Messages, key.slot));
        out << "Message " << key.legend << ": " << ToUtf8(FromAnsi(text)) << '\n';
    }
}

// What the operations show, as lines on the console. Any error ends the command as failed.
class ConsoleUi : public OperationsUi {
public:
    ConsoleUi(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    void showError(const std::u16string& text) override {
        err_ << Lines(text) << '\n';
        failed = true;
    }
    void showInformation(const std::u16string& text) override {
        out_ << Lines(text) << '\n';
        completed = true;
    }
    void clearLog() override {}
    void addLogLine(const std::u16string& line) override { out_ << ToUtf8(line) << '\n'; }
    void showKey(int legendIndex) override {
        if (legendIndex == lit_) return;
        lit_ = legendIndex;
        if (legendIndex < 0)
            out_ << "Key released\n";
        else
            out_ << "Key " << kKeys[legendIndex].legend << " (row " << kKeys[legendIndex].row << ", column "
                 << kKeys[legendIndex].column << ")\n";
        out_.flush();
    }
    void setTestButtonCaption(const std::u16string&) override {}
    void setBusy(bool) override {}

    bool failed = false;
    bool completed = false;

private:
    std::ostream& out_;
    std::ostream& err_;
    int lit_ = -1;
};

// The window's pieces without the window: record, view, link and operations on this thread.
class Session {
public:
    Session(Transport& transport, std::ostream& out, std::ostream& err)
        : ui(out, err), link(transport, dispatcher), ops(store, view, link, ui) {
        store.SetDefaultConfig(view);
    }
    ~Session() { link.Stop(); }

    // Runs the timer and the device's answers until `done` holds, an error was shown or `limit` has passed.
    void run(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const Clock::time_point end = Clock::now() + limit;
        Clock::time_point nextTick = Clock::now() + kTick;
        while (!done() && !ui.failed) {
            const Clock::time_point now = Clock::now();
            if (now >= end) break;
            if (now >= nextTick) {
                ops.Timer1Timer();
                nextTick += kTick;
                continue;
            }
            dispatcher.runOne(std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - now) +
                              std::chrono::milliseconds(1));
        }
    }

    ConsoleUi ui;
    QueueDispatcher dispatcher;
    ConfigStore store;
    MemoryConfigView view;
    DeviceLink link;
    DeviceOperations ops;
};

bool LoadFile(const std::string& path, KeypadConfig& config, std::ostream& err) {
    DiskFileAccess files;
    const auto bytes = files.read(std::filesystem::u8path(path), kDataFileSize);
    if (!bytes) {
        err << Lines(kErrorOpeningText) << '\n';
        return false;
    }
    const DecodeResult decoded = DecodeDataFile(bytes->data(), bytes->size());
    if (const auto* message = std::get_if<std::u16string>(&decoded)) {
        err << Lines(*message) << '\n';
        return false;
    }
    config = std::get<KeypadConfig>(decoded);
    return true;
}

int Finish(const Session& session) {
    if (session.ui.failed) return 1;
    return session.ui.completed ? 0 : 1;
}

}  // namespace

std::string CliUsage() {
    return "Usage: quillanterbrooke-cli [--simulate] [--trace FILE] COMMAND [ARGUMENTS]\n"
           "\n"
           "Commands:\n"
           "  show FILE       print the configuration a data file holds\n"
           "  new FILE        save the default configuration as a data file\n"
           "  write FILE      write the configuration of a data file into the device\n"
           "  read            identify the device and print its settings block\n"
           "  keys [SECONDS]  keypad test: print each key pressed, for SECONDS (default 10)\n"
           "\n"
           "--simulate talks to a built-in simulated device instead of the USB device.\n"
           "--trace FILE records every report to and from the device in FILE, with its time.\n"
           "Exit status: 0 done, 1 failed, 2 bad usage.\n";
}

int RunCli(const std::vector<std::string>& args, Transport& transport, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << CliUsage();
        return 2;
    }
    const std::string& command = args[0];
    const auto arity = [&](std::size_t min, std::size_t max) { return args.size() >= min + 1 && args.size() <= max + 1; };

    if (command == "show" && arity(1, 1)) {
        KeypadConfig config;
        if (!LoadFile(args[1], config, err)) return 1;
        PrintConfig(config, out);
        return 0;
    }
    if (command == "new" && arity(1, 1)) {
        ConfigStore store;
        MemoryConfigView view;
        store.SetDefaultConfig(view);
        DiskFileAccess files;
        if (!files.write(std::filesystem::u8path(args[1]), EncodeDataFile(store.Config))) {
            err << Lines(kErrorSavingText) << '\n';
            return 1;
        }
        return 0;
    }
    if (command == "write" && arity(1, 1)) {
        Session session(transport, out, err);
        if (!LoadFile(args[1], session.store.Config, err)) return 1;
        UnpackConfig(session.store.Config, session.view);
        session.ops.WriteButtonClick();
        session.run([&] { return session.ui.completed; }, kOperationLimit);
        return Finish(session);
    }
    if (command == "read" && arity(0, 0)) {
        Session session(transport, out, err);
        session.ops.ReadButtonClick();
        session.run([&] { return session.ui.completed; }, kOperationLimit);
        if (session.ui.completed && !session.ui.failed) PrintSettings(session.store.Config.Settings, out);
        return Finish(session);
    }
    if (command == "keys" && arity(0, 1)) {
        char* end = nullptr;
        const long seconds = args.size() > 1 ? std::strtol(args[1].c_str(), &end, 10) : 10;
        if ((args.size() > 1 && *end != '\0') || seconds < 0 || seconds > 24 * 3600) {
            err << CliUsage();
            return 2;
        }
        Session session(transport, out, err);
        session.ops.TestkeypadButtonClick();
        if (session.ui.failed || !session.ops.testRunning()) return 1;
        session.run([] { return false; }, std::chrono::seconds(seconds));
        if (session.ops.testRunning()) session.ops.TestkeypadButtonClick();
        return session.ui.failed ? 1 : 0;
    }
    err << CliUsage();
    return 2;
}

}  // namespace qb
