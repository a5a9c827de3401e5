// The command-line front end against the simulated device and real files.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/Cli.h"
#include "cli/CliSession.h"
#include "config/DataFile.h"
#include "config/FileAccess.h"
#include "config/KeyTable.h"
#include "device/PlatformBusWatcher.h"
#include "device/ReplayTransport.h"
#include "device/TracingTransport.h"
#include "simulator/SimulatedDevice.h"
#include "tests/device/DeviceTestSupport.h"
#include "tests/support/ScratchFolder.h"

namespace qb {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Cli : ::testing::Test {
    int run(std::vector<std::string> args, Transport* transport = nullptr) {
        out.str({});
        err.str({});
        Transport& used = transport ? *transport : device;
        // The simulated device has no bus to watch: program --each looks at it often.
        return RunCli(args, {out, err, [&](bool, bool) { return Borrow(used); }, &interrupted, nullptr,
                             [](Dispatcher& d) { return MakePollingBusWatcher(d, 20ms); }});
    }
    // A data file holding the default settings, `message` for key 5 and no other text.
    std::string fileWithKey5(const std::string& message, std::int32_t version = 1) {
        KeypadConfig config{kDefaultSettings, {}};
        std::copy(message.begin(), message.end(), config.Messages.begin() + kKeys[5].slot * kSlotSize);
        std::vector<std::uint8_t> bytes = EncodeDataFile(config);
        bytes[0] = static_cast<std::uint8_t>(version);
        const std::string path = (folder / "keys.dat").string();
        EXPECT_TRUE(DiskFileAccess().write(path, bytes));
        return path;
    }

    // Backups go to a folder of the test's own, never the user's.
    void SetUp() override {
        const std::string backups = (folder / "backups").string();
#ifdef _WIN32
        _putenv_s("QB_BACKUP_DIR", backups.c_str());
#else
        ::setenv("QB_BACKUP_DIR", backups.c_str(), 1);
#endif
    }

    test::ScratchFolder folder;
    SimulatedDevice device;
    std::ostringstream out;
    std::ostringstream err;
    std::atomic<int> interrupted{0};
};

TEST_F(Cli, NewWritesTheDefaultFileAndShowPrintsItWithControlBytesEscaped) {
    const std::string path = (folder / "default.dat").string();
    ASSERT_EQ(run({"new", path}), 0);
    EXPECT_EQ(DiskFileAccess().read(path, 4096), DiskFileAccess().read(QB_GOLDEN_FILE, 4096));
    ASSERT_EQ(run({"show", path}), 0);
    EXPECT_NE(out.str().find("Column lines: 1 2 3 4\nRow lines: 5 6 7 8\nBaud rate: 19200\nParity: none\n"
                             "Stop bits: 1\nLegends: 1 2 3 A 4 5 6 B 7 8 9 C * 0 # D\n"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("Message *: *\n"), std::string::npos) << out.str();
    // A foreign file's raw control bytes never reach the terminal.
    ASSERT_EQ(run({"show", fileWithKey5("A\r\n\x1b\\z")}), 0);
    EXPECT_NE(out.str().find("Message 5: A\\0D\\0A\\1B\\z\n"), std::string::npos) << out.str();
}

// The window's texts first, then what the command line adds: the file and why, the key and the escape at fault.
TEST_F(Cli, FailuresSayWhatFailedLineByLine) {
    const std::string missing = (folder / "missing.dat").string();
    EXPECT_EQ(run({"show", missing}), 1);
    EXPECT_EQ(err.str(), "Error Opening File.\n" + missing + ": No such file or directory\n");
    EXPECT_EQ(run({"show", folder.path.string()}), 1);
    EXPECT_EQ(err.str(), "Error Opening File.\n" + folder.path.string() + ": it is a folder\n");
    EXPECT_EQ(run({"write", fileWithKey5("ok", 2)}), 1);
    EXPECT_EQ(err.str(), "The file uses a later data format.\nCannot load\n");
    const std::string nowhere = (folder / "no-such-folder" / "x.dat").string();
    EXPECT_EQ(run({"new", nowhere}), 1);
    EXPECT_EQ(err.str(), "Error Saving File.\n" + nowhere + ": the folder " + (folder / "no-such-folder").string() +
                             " does not exist\n");
    EXPECT_EQ(run({"write", fileWithKey5("ab\\\\\\G1")}), 1);
    EXPECT_EQ(err.str(),
              "Error on Message:\nab\\\\\\G1\nThe message of key 5 has \"\\G1\" at character 5: a backslash "
              "starts \\\\ or a byte in two hex digits (\\0D).\n");
    EXPECT_EQ(device.receivedCount(), 0u) << "nothing is sent for a refused message";
}

TEST_F(Cli, BadUsageExitsWithStatusTwo) {
    const std::string file = fileWithKey5("x");
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"frobnicate"},
                                                 {"write"},
                                                 {"write", file, file},
                                                 {"write", file, "--bogus"},
                                                 {"show"},
                                                 {"new", "a", "b"},
                                                 {"read", "x"},
                                                 {"list", "x"},
                                                 {"keys", "1", "2"},
                                                 {"keys", "soon"},
                                                 {"keys", "0"},
                                                 {"keys", ""},
                                                 {"keys", "-1"},
                                                 {"keys", "86401"},
                                                 {"program", file},
                                                 {"program", file, "--each", "--log", ""},
                                                 {"program", "--each"}}) {
        EXPECT_EQ(run(args), 2) << ::testing::PrintToString(args);
        EXPECT_FALSE(err.str().empty());
    }
    EXPECT_EQ(device.receivedCount(), 0u);
    // The argument at fault is named; both ends of a range are accepted; "--" ends the options.
    EXPECT_EQ(run({"write", file, "--bogus"}), 2);
    EXPECT_NE(err.str().find("--bogus"), std::string::npos) << err.str();
    interrupted = 1;  // the keypad tests end at once
    EXPECT_EQ(run({"keys", "1"}), 0) << err.str();
    EXPECT_EQ(run({"keys", "86400"}), 0) << err.str();
    interrupted = 0;
    EXPECT_EQ(run({"show", "--", file}), 0) << err.str();
}

// --help and the manual page come from one table: every option of every command is in both, and the committed
// manual page is what the table makes (regenerate it with build/tools/qb_cli_man_page).
TEST_F(Cli, HelpAndManualPageNameEveryOption) {
    std::stringstream committed;
    committed << std::ifstream(QB_SOURCE_DIR "/packaging/quillanterbrooke-cli.1").rdbuf();
    EXPECT_EQ(committed.str(), CliManPage()) << "packaging/quillanterbrooke-cli.1 is out of date";
    const std::string help = CliHelp();
    std::string everyCommand;
    for (const char* command : {"show", "new", "write", "read", "keys", "list", "program", "backups", "restore",
                                "export", "import", "diff"}) {
        ASSERT_EQ(run({command, "--help"}), 0) << command;
        EXPECT_NE(help.find(std::string("  ") + command), std::string::npos) << command;
        EXPECT_NE(CliManPage().find(std::string(".SS ") + command + "\n"), std::string::npos) << command;
        everyCommand += out.str();
    }
    for (const char* option : {"--simulate", "--simulate-fresh", "--device", "--trace", "--version", "--all",
                               "--no-verify", "--no-backup", "--each", "--log", "--backup"}) {
        EXPECT_NE((help + everyCommand).find(option), std::string::npos) << option;
        std::string roff = ".B ";
        for (const char* c = option; *c; ++c) roff += *c == '-' ? std::string("\\-") : std::string(1, *c);
        EXPECT_TRUE(CliManPage().find(roff + "\n") != std::string::npos ||
                    CliManPage().find(roff + " ") != std::string::npos)
            << option;
    }
}

// Everything the tool writes must reach its reader: an output that fails is a failure.
TEST_F(Cli, AnOutputThatCannotBeWrittenFails) {
    std::ostringstream broken;
    broken.setstate(std::ios::badbit);
    EXPECT_EQ(RunCli({"show", fileWithKey5("x")},
                     {broken, err, [&](bool, bool) { return Borrow(device); }, nullptr, nullptr, {}}),
              1);
    EXPECT_EQ(err.str(), "Cannot write the output.\n");
}

TEST_F(Cli, WriteVerifiesWhatTheDeviceHolds) {
    ASSERT_EQ(run({"write", "--no-backup", fileWithKey5("Hi\\0D\\0A")}), 0) << err.str();
    EXPECT_EQ(out.str(), "Appware Version:1.00\nSerial Number: 1\nDownload Complete\nDownload verified\n");
    const SimulatedDevice::Block block = device.block(kKeys[5].slot + 1);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 5), std::string("Hi\r\n\0", 5));

    device.setStoreFault(0, 1 + kBaudCodeOffset);  // the device keeps a wrong baud rate
    EXPECT_EQ(run({"write", fileWithKey5("Hi")}), 1);
    EXPECT_EQ(err.str(),
              "Download Complete\nDownload not verified: the device holds something else\n"
              "Baud rate: wrote 19200, the device holds none (code 94)\n");
    device.clearStoreFault();
    device.setStoreFault(kKeys[5].slot + 1, 1);  // key 5's message
    EXPECT_EQ(run({"write", fileWithKey5("Hi"), "--no-verify"}), 0);
    EXPECT_EQ(run({"write", fileWithKey5("Hi")}), 0) << "without --all only the settings are compared";
    EXPECT_EQ(run({"write", fileWithKey5("Hi"), "--all"}), 1);
    EXPECT_NE(err.str().find("\nMessage of key 5 differs\n"), std::string::npos) << err.str();
}

// Every write keeps what the device held first; restore writes it back exactly, verified. A write whose backup
// cannot be made sends nothing but the backup's read.
TEST_F(Cli, AWriteIsBackedUpFirstAndRestoreWritesTheBackupBack) {
    const std::string first = fileWithKey5("first");
    const std::string firstCopy = (folder / "first.dat").string();
    fs::copy_file(first, firstCopy);
    ASSERT_EQ(run({"write", firstCopy}), 0) << err.str();
    const std::string second = fileWithKey5("second\\0D");
    ASSERT_EQ(run({"write", second}), 0) << err.str();
    EXPECT_EQ(out.str().rfind("Backup of what the device held: ", 0), 0u) << out.str();
    const auto lines = [&] {
        const std::string text = out.str();
        return std::count(text.begin(), text.end(), '\n');
    };
    ASSERT_EQ(run({"backups"}), 0);
    EXPECT_EQ(lines(), 2);
    ASSERT_EQ(run({"restore", "latest"}), 0) << err.str();
    EXPECT_NE(out.str().find("Download verified"), std::string::npos) << out.str();
    EXPECT_EQ(run({"diff", "device", firstCopy}), 0) << out.str() << err.str();
    EXPECT_EQ(run({"diff", "device", second}), 1);
    EXPECT_EQ(out.str(), "Message of key 5: \"first\" -> \"second\\0D\"\n");

    ASSERT_EQ(run({"write", "--no-backup", second}), 0);
    ASSERT_EQ(run({"backups"}), 0);
    EXPECT_EQ(lines(), 3) << "no backup with --no-backup";

    { std::ofstream(folder / "not-a-folder") << "x"; }
#ifdef _WIN32
    _putenv_s("QB_BACKUP_DIR", (folder / "not-a-folder").string().c_str());
#else
    ::setenv("QB_BACKUP_DIR", (folder / "not-a-folder").string().c_str(), 1);
#endif
    device.clearReceived();
    EXPECT_EQ(run({"write", first}), 1);
    EXPECT_NE(err.str().find("othing was written"), std::string::npos) << err.str();
    for (const HidReport& report : device.receivedReports()) EXPECT_NE(report[1], 'E') << "a write went out";
}

// The text form gives the data file back byte for byte; diff says 0 alike, 1 different, 2 trouble.
TEST_F(Cli, ExportImportAndDiff) {
    const std::string json = (folder / "golden.json").string(), back = (folder / "back.dat").string();
    ASSERT_EQ(run({"export", QB_GOLDEN_FILE, json}), 0) << err.str();
    ASSERT_EQ(run({"import", json, back}), 0) << err.str();
    EXPECT_EQ(DiskFileAccess().read(back, 4096), DiskFileAccess().read(QB_GOLDEN_FILE, 4096));
    EXPECT_EQ(run({"diff", QB_GOLDEN_FILE, json}), 0);
    EXPECT_EQ(run({"diff", json, fileWithKey5("x")}), 1);
    EXPECT_EQ(run({"diff", json, (folder / "missing.dat").string()}), 2);
    EXPECT_EQ(run({"diff", json}), 2);
}

// --json: what a script reads without parsing text.
TEST_F(Cli, ReadAndListInJson) {
    ASSERT_EQ(run({"write", "--no-backup", fileWithKey5("a,\"b")}), 0) << err.str();
    device.setVersion("\x1b[2J=1+2");  // the device's own text never reaches the terminal raw
    ASSERT_EQ(run({"read"}), 0) << err.str();
    EXPECT_NE(out.str().find("Appware Version:\\1B[2J=1+2\n"), std::string::npos) << out.str();
    device.setVersion("1.00");
    ASSERT_EQ(run({"read", "--all", "--json"}), 0) << err.str();
    const nlohmann::json read = nlohmann::json::parse(out.str());
    EXPECT_EQ(read["serial"], 1);
    EXPECT_EQ(read["messagesRead"], true);
    EXPECT_EQ(read["configuration"]["keys"][5]["message"], "a,\"b");
    ASSERT_EQ(run({"list", "--json"}), 0);
    const nlohmann::json list = nlohmann::json::parse(out.str());
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["path"], device.path());
    EXPECT_EQ(list[0]["state"], "attached");
}

// A rate beyond the list loads and shows as missing; writing it is refused before anything is sent.
TEST_F(Cli, AMissingBaudRateIsShownAndNeverWritten) {
    KeypadConfig config{kDefaultSettings, {}};
    config.Settings[kBaudCodeOffset] = 255;
    const std::string path = (folder / "no-rate.dat").string();
    ASSERT_TRUE(DiskFileAccess().write(path, EncodeDataFile(config)));
    ASSERT_EQ(run({"show", path}), 0);
    EXPECT_NE(out.str().find("Baud rate: none (code 255)\n"), std::string::npos) << out.str();
    EXPECT_EQ(run({"write", path}), 1);
    EXPECT_NE(err.str().find("No baud rate is selected."), std::string::npos) << err.str();
    EXPECT_EQ(device.receivedCount(), 0u);
}

TEST_F(Cli, ReadPrintsTheSettingsAndWithAllTheMessagesWhereTheFirmwareServesThem) {
    ASSERT_EQ(run({"write", fileWithKey5("Hi\\0D\\0A")}), 0);
    ASSERT_EQ(run({"read", "--all"}), 0) << err.str();
    EXPECT_NE(out.str().find("Read Complete\nColumn lines: 1 2 3 4\n"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("Message 5: Hi\\0D\\0A\nMessage 6: \nMessage B: \n"), std::string::npos) << out.str();

    device.setServesMessageBlocks(false);
    EXPECT_EQ(run({"read", "--all"}), 1);
    EXPECT_EQ(out.str().find("Message "), std::string::npos) << "nothing false is shown";
    EXPECT_NE(err.str().find("cannot be shown"), std::string::npos) << err.str();
    EXPECT_EQ(run({"read"}), 0);
}

TEST_F(Cli, KeysReportsTheKeyHeldAndFailsWhenTheDeviceGoes) {
    device.setKeyDown(kKeys[6].keyNumber);
    ASSERT_EQ(run({"keys", "1"}), 0) << err.str();
    EXPECT_EQ(out.str(), "Key 6 (row 2, column 3)\n") << "a key held is told once, not at every poll";

    device.clearReceived();
    std::thread unplugger([&] {
        test::WaitUntil([&] { return device.receivedCount() >= 4; });
        device.unplug();
    });
    EXPECT_EQ(run({"keys", "20"}), 1);
    unplugger.join();
    EXPECT_EQ(err.str(), "Cannot communicate with VELMORA\nThe device was disconnected.\n");

    device.replug();
    device.clearReceived();
    std::thread silencer([&] {
        test::WaitUntil([&] { return device.receivedCount() >= 2; });
        device.dropNextAnswers(1000);  // alive, but silent
    });
    EXPECT_EQ(run({"keys", "2"}), 1);
    silencer.join();
    EXPECT_EQ(err.str(), "Cannot communicate with VELMORA\n");
}

TEST_F(Cli, ListShowsEachDeviceWithWhetherThisUserMayOpenIt) {
    SimulatedDevice other("sim:other");
    other.setRelease(kProgramModeRelease);
    other.setRefuseOpens(true, OpenFailure::AccessDenied);
    device.setSerialString("A-17");
    SimulatedBus bus;
    bus.add({{}, device.path(), &device});
    bus.add({{"HID\\VID_1234&PID_0001&REV_0001"}, "sim:mouse", nullptr});
    bus.add({{}, other.path(), &other});
    ASSERT_EQ(run({"list"}, &bus), 0);
    EXPECT_EQ(out.str(),
              "sim:quillanterbrooke  application (release 0004)  serial A-17  this user may open it\n"
              "sim:other  program mode (release 0001)  no serial number  this user may not open it\n");
    device.unplug();
    other.unplug();
    EXPECT_EQ(run({"list"}, &bus), 1);
    EXPECT_EQ(err.str(), "No VELMORA Quillanterbrooke is attached.\n");
}

// Counts how often the program looks for devices, so the test can wait for it to have looked.
struct CountingTransport : Transport {
    explicit CountingTransport(Transport& inner) : inner(inner) {}
    std::vector<HidInterfaceInfo> enumerate() override {
        ++enumerations;
        return inner.enumerate();
    }
    OpenResult open(const std::string& path) override { return inner.open(path); }
    // Until the program has looked `times` more times.
    bool looked(int times) {
        const int from = enumerations;
        return test::WaitUntil([&] { return enumerations >= from + times; });
    }
    Transport& inner;
    std::atomic<int> enumerations{0};
};

// Three devices plugged in one after another, the second one faulty; Ctrl-C ends the run.
TEST_F(Cli, ProgramEachWritesEveryDevicePluggedInOnce) {
    const std::string file = fileWithKey5("x");
    const std::string log = (folder / "log.csv").string();
    CountingTransport bus(device);
    device.unplug();
    int status = -1;
    std::thread programmer([&] { status = run({"program", file, "--each", "--log", log}, &bus); });
    const auto finish = [&] {
        interrupted = 1;
        programmer.join();
    };
    for (int serial = 1; serial <= 3; ++serial) {
        device.setSerial(serial);
        if (serial == 2) device.setStoreFault(0, 1);
        device.replug();
        // Written and read back (37 + 2 reports), then left plugged in while the program looks again and again.
        if (!test::WaitUntil([&] { return device.receivedCount() >= 39; }) || !bus.looked(3)) {
            finish();
            FAIL() << "device " << serial << ": " << out.str() << err.str();
        }
        EXPECT_EQ(device.receivedCount(), 39u) << "written twice";
        device.unplug();
        bus.looked(2);  // it has seen the device go
        device.clearReceived();
        device.clearStoreFault();
    }
    finish();
    EXPECT_EQ(status, 1);
    const std::string text = out.str();
    EXPECT_NE(text.find("serial 1  version 1.00  PASS  ("), std::string::npos) << text;
    EXPECT_NE(text.find("serial 2  version 1.00  FAIL not-verified  Column lines: wrote 1 2 3 4"), std::string::npos)
        << text;
    EXPECT_NE(text.find("serial 3  version 1.00  PASS  ("), std::string::npos) << text;
    EXPECT_NE(text.find("\n2 passed, 1 failed\n"), std::string::npos) << text;
    std::ifstream csv(log);
    std::string header, line;
    std::getline(csv, header);
    if (!header.empty() && header.back() != '\r') header += '\r';  // a text stream on Windows takes it off
    EXPECT_EQ(header, "time,path,serial,version,result,detail,duration_ms\r");
    int rows = 0;
    while (std::getline(csv, line)) ++rows;
    EXPECT_EQ(rows, 3);
}

// Ctrl-C: the devices being written are finished, then the counts; a second signal cuts them short and says so.
// A single write likewise runs to its end on the first signal.
TEST_F(Cli, SignalsFinishWhatIsBeingWrittenUnlessASecondOneComes) {
    const std::string file = fileWithKey5("x");
    device.setAnswerDelay(20ms);  // a write of 39 exchanges takes about 0.8 s
    for (const int signals : {1, 2}) {
        SCOPED_TRACE(signals);
        device.unplug();
        device.clearReceived();
        interrupted = 0;
        int status = -1;
        std::thread programmer([&] { status = run({"program", file, "--each"}); });
        device.replug();
        const bool started = test::WaitUntil([&] { return device.receivedCount() >= 5; });
        interrupted = signals;
        programmer.join();
        ASSERT_TRUE(started) << out.str() << err.str();
        if (signals == 1) {
            EXPECT_EQ(status, 0) << err.str();
            EXPECT_EQ(device.receivedCount(), 39u);
            EXPECT_NE(out.str().find("\n1 passed, 0 failed\n"), std::string::npos) << out.str();
        } else {
            EXPECT_EQ(status, 1);
            EXPECT_LT(device.receivedCount(), 39u);
            EXPECT_NE(err.str().find("Cut short"), std::string::npos) << err.str();
        }
    }
    interrupted = 1;
    EXPECT_EQ(run({"write", "--no-backup", file}), 0) << err.str();
    interrupted = 2;
    EXPECT_EQ(run({"write", "--no-backup", file}), 1);
    EXPECT_NE(err.str().find("Cut short after"), std::string::npos) << err.str();
    interrupted = 0;
    device.setAnswerDelay(0ms);
}

// A process paused while an answer waits must not time it out when it goes on: waiting answers come first and
// missed ticks are not made up in a burst.
TEST(CliSessionLoop, APauseDoesNotTimeOutAnAnswerThatIsAlreadyThere) {
    SimulatedDevice device;
    CliSession session(device);
    auto offset = CliSession::Clock::duration::zero();
    std::size_t pauses = 0;
    session.now = [&] {
        // Each time a report has gone out, the process stands still for ten seconds while its answer comes.
        if (device.receivedCount() > pauses) {
            offset += 10s;
            ++pauses;
        }
        return CliSession::Clock::now() + offset;
    };
    KeypadConfig config;
    ApplyDefaults(config);
    EXPECT_TRUE(session.write(config, {}).ok());
    EXPECT_GE(pauses, 30u);  // the last answer may come before the clock is looked at again
}

// A write's trace, recorded here or by the guest test over the kernel's hidraw, plays the device's part again.
TEST_F(Cli, AWriteReplaysFromItsTrace) {
    std::string recorded;
    TracingTransport tracing(std::make_unique<SimulatedDevice>(), [&](std::string_view line) {
        recorded += line;
        return true;
    });
    ASSERT_EQ(run({"write", "--no-backup", QB_GOLDEN_FILE}, &tracing), 0) << err.str();
    std::stringstream guest;
    guest << std::ifstream(QB_TRACE_DIR "/guest-write.txt").rdbuf();
    for (const std::string& trace : {recorded, guest.str()}) {
        std::vector<TraceEntry> entries;
        ASSERT_TRUE(ParseTraceEntries(trace, entries));
        ASSERT_GT(entries.size(), 74u);  // the write's 37 exchanges and the read-back
        ReplayTransport replay(entries);
        EXPECT_EQ(run({"write", "--no-backup", QB_GOLDEN_FILE}, &replay), 0) << err.str();
        EXPECT_NE(out.str().find("Download Complete"), std::string::npos) << out.str();
        EXPECT_EQ(replay.mismatches(), 0u);
        EXPECT_TRUE(replay.finished());
    }
}

}  // namespace
}  // namespace qb
