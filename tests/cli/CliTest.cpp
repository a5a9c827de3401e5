// The command-line front end against the simulated device and real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "app/Cli.h"
#include "config/DataFile.h"
#include "config/FileAccess.h"
#include "config/KeyTable.h"
#include "device/ReplayTransport.h"
#include "device/TracingTransport.h"
#include "simulator/SimulatedDevice.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

struct Cli : ::testing::Test {
    void SetUp() override { fs::create_directories(folder); }
    void TearDown() override { fs::remove_all(folder); }

    int run(std::vector<std::string> args) {
        out.str({});
        err.str({});
        return RunCli(args, device, out, err);
    }
    // A data file holding the default settings, `message` for key 5 and no other text.
    std::string fileWithKey5(const std::string& message) {
        KeypadConfig config{kDefaultSettings, {}};
        std::copy(message.begin(), message.end(), config.Messages.begin() + kKeys[5].slot * kSlotSize);
        const std::string path = (folder / "keys.dat").string();
        EXPECT_TRUE(DiskFileAccess().write(path, EncodeDataFile(config)));
        return path;
    }

    // Apart from other test processes, including those of other build folders.
    const fs::path folder = fs::temp_directory_path() / ("qb-cli-" + std::to_string(std::random_device{}()) + "-" +
                                                         std::to_string(std::random_device{}()));
    SimulatedDevice device;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(Cli, NewWritesTheDefaultFileAndShowPrintsIt) {
    const std::string path = (folder / "default.dat").string();
    ASSERT_EQ(run({"new", path}), 0);
    EXPECT_EQ(DiskFileAccess().read(path, 4096), DiskFileAccess().read(QB_GOLDEN_FILE, 4096));
    ASSERT_EQ(run({"show", path}), 0);
    EXPECT_NE(out.str().find("Column lines: 1 2 3 4\nRow lines: 5 6 7 8\nBaud rate: 19200\nParity: none\n"
                             "Stop bits: 1\nLegends: 1 2 3 A 4 5 6 B 7 8 9 C * 0 # D\n"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("Message *: *\n"), std::string::npos) << out.str();
}

TEST_F(Cli, FilesThatCannotBeUsedFail) {
    EXPECT_EQ(run({"show", (folder / "missing.dat").string()}), 1);
    EXPECT_EQ(err.str(), "Error Opening File.\n");
    const std::string junk = (folder / "junk.dat").string();
    std::ofstream(junk) << "not a data file";
    EXPECT_EQ(run({"write", junk}), 1);
    EXPECT_EQ(err.str(), "Incompatible data file.\n");
    EXPECT_EQ(run({"new", (folder / "no-such-folder" / "x.dat").string()}), 1);
    EXPECT_EQ(err.str(), "Error Saving File.\n");
}

TEST_F(Cli, WriteSendsTheFileToTheDevice) {
    ASSERT_EQ(run({"write", fileWithKey5("Hi\\0D\\0A")}), 0) << err.str();
    EXPECT_EQ(out.str(), "Appware Version:1.00\nSerial Number: 1\nDownload Complete\n");
    const SimulatedDevice::Block block = device.block(kKeys[5].slot + 1);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 5), std::string("Hi\r\n\0", 5));
}

TEST_F(Cli, WriteFailuresEndWithStatusOne) {
    EXPECT_EQ(run({"write", fileWithKey5("ab\\G1")}), 1);
    EXPECT_EQ(err.str(), "Error on Message:\nab\\G1\n");
    const std::string good = fileWithKey5("ok");
    device.unplug();
    EXPECT_EQ(run({"write", good}), 1);
    EXPECT_EQ(err.str(), "Cannot find VELMORA\n");
    device.replug();
    device.dropNextAnswers(1);
    EXPECT_EQ(run({"write", good}), 1);
    EXPECT_EQ(err.str(), "Cannot communicate with VELMORA\n");
}

TEST_F(Cli, ReadPrintsTheDevicesSettings) {
    device.setBlock(0, {0x55, 8,   7,   6,   5,   4,   3,   2,   1,   'a', 'b', 'c', 'd', 'e',
                        'f',  'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 6,   2,   2});
    ASSERT_EQ(run({"read"}), 0) << err.str();
    EXPECT_NE(out.str().find("Read Complete\nColumn lines: 8 7 6 5\nRow lines: 4 3 2 1\nBaud rate: 57600\n"
                             "Parity: odd\nStop bits: 2\nLegends: a b c d e f g h i j k l m n o p\n"),
              std::string::npos)
        << out.str();
}

TEST_F(Cli, KeysPrintsTheKeyHeldDown) {
    device.setKeyDown(kKeys[6].keyNumber);
    ASSERT_EQ(run({"keys", "1"}), 0) << err.str();
    EXPECT_NE(out.str().find("Key 6 (row 2, column 3)\n"), std::string::npos) << out.str();
}

// A write's trace, recorded here or by the guest test over the kernel's hidraw, plays the device's part again.
TEST_F(Cli, AWriteReplaysFromItsTrace) {
    std::string recorded;
    TracingTransport tracing(std::make_unique<SimulatedDevice>(), [&](std::string_view line) {
        recorded += line;
        return true;
    });
    ASSERT_EQ(RunCli({"write", QB_GOLDEN_FILE}, tracing, out, err), 0) << err.str();
    std::stringstream guest;
    guest << std::ifstream(QB_TRACE_DIR "/guest-write.txt").rdbuf();
    for (const std::string& trace : {recorded, guest.str()}) {
        std::vector<TraceEntry> entries;
        ASSERT_TRUE(ParseTraceEntries(trace, entries));
        ASSERT_EQ(entries.size(), 74u);
        ReplayTransport replay(entries);
        out.str({});
        EXPECT_EQ(RunCli({"write", QB_GOLDEN_FILE}, replay, out, err), 0) << err.str();
        EXPECT_NE(out.str().find("Download Complete"), std::string::npos) << out.str();
        EXPECT_EQ(replay.mismatches(), 0u);
        EXPECT_TRUE(replay.finished());
    }
}

TEST_F(Cli, BadUsageExitsWithStatusTwo) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"frobnicate"}, {"write"}, {"keys", "soon"}})
        EXPECT_EQ(run(args), 2) << ::testing::PrintToString(args);
    EXPECT_NE(err.str().find("Usage: quillanterbrooke-cli"), std::string::npos);
}

}  // namespace
}  // namespace qb
