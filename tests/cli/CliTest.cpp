// The command-line front end against the simulated device and real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/Cli.h"
#include "config/DataFile.h"
#include "config/KeyTable.h"
#include "device/SimulatedDevice.h"

namespace qb {
namespace {

namespace fs = std::filesystem;

struct Cli : ::testing::Test {
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("qb-cli-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    int run(std::vector<std::string> args) {
        out.str({});
        err.str({});
        return RunCli(args, device, out, err);
    }
    // A data file holding the default configuration with `message` for key 5.
    std::string fileWithKey5(const std::string& message) {
        const std::string path = (folder / "keys.dat").string();
        EXPECT_EQ(run({"new", path}), 0);
        std::vector<char> bytes(kDataFileSize);
        std::ifstream(path, std::ios::binary).read(bytes.data(), bytes.size());
        char* slot = bytes.data() + kHeaderSize + kSettingsSize + kKeys[5].slot * kSlotSize;
        std::fill(slot, slot + kSlotSize, 0);
        std::copy(message.begin(), message.end(), slot);
        std::ofstream(path, std::ios::binary).write(bytes.data(), bytes.size());
        return path;
    }

    fs::path folder;
    SimulatedDevice device;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(Cli, NewWritesTheDefaultFileAndShowPrintsIt) {
    const std::string path = (folder / "default.dat").string();
    ASSERT_EQ(run({"new", path}), 0);
    std::ifstream golden(std::string(QB_GOLDEN_FILE), std::ios::binary);
    std::ifstream made(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(made), {}),
              std::string(std::istreambuf_iterator<char>(golden), {}));

    ASSERT_EQ(run({"show", path}), 0);
    const std::string text = out.str();
    EXPECT_NE(text.find("Column lines: 1 2 3 4\nRow lines: 5 6 7 8\nBaud rate: 19200\nParity: none\nStop bits: 1\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Legends: 1 2 3 A 4 5 6 B 7 8 9 C * 0 # D\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Message *: *\n"), std::string::npos) << text;
    EXPECT_EQ(device.receivedCount(), 0u);
}

TEST_F(Cli, FilesThatCannotBeUsedFail) {
    EXPECT_EQ(run({"show", (folder / "missing.dat").string()}), 1);
    EXPECT_EQ(err.str(), "Error Opening File.\n");
    const std::string junk = (folder / "junk.dat").string();
    std::ofstream(junk) << "not a data file";
    EXPECT_EQ(run({"write", junk}), 1);
    EXPECT_EQ(err.str(), "Incompatible data file.\n");
    EXPECT_EQ(device.receivedCount(), 0u);
    EXPECT_EQ(run({"new", (folder / "no-such-folder" / "x.dat").string()}), 1);
    EXPECT_EQ(err.str(), "Error Saving File.\n");
}

TEST_F(Cli, WriteSendsTheFileToTheDevice) {
    device.setSerial(-7);
    device.setVersion("2.5");
    const std::string path = fileWithKey5("Hi\\0D\\0A");
    ASSERT_EQ(run({"write", path}), 0) << err.str();
    EXPECT_EQ(out.str(), "Appware Version:2.5\nSerial Number: -7\nDownload Complete\n");
    EXPECT_EQ(device.receivedCount(), 37u);
    const SimulatedDevice::Block block = device.block(kKeys[5].slot + 1);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 5), std::string("Hi\r\n\0", 5));
}

TEST_F(Cli, WriteFailuresEndWithStatusOne) {
    const std::string bad = fileWithKey5("ab\\G1");
    EXPECT_EQ(run({"write", bad}), 1);
    EXPECT_EQ(err.str(), "Error on Message:\nab\\G1\n");
    EXPECT_EQ(device.receivedCount(), 0u);

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
    SimulatedDevice::Block block{};
    block[0] = 0x55;
    const std::uint8_t settings[] = {8, 7, 6, 5, 4, 3, 2, 1, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h',
                                     'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 6,   2,   2};
    std::copy(std::begin(settings), std::end(settings), block.begin() + 1);
    device.setBlock(0, block);
    ASSERT_EQ(run({"read"}), 0) << err.str();
    EXPECT_NE(out.str().find("Read Complete\nColumn lines: 8 7 6 5\nRow lines: 4 3 2 1\nBaud rate: 57600\n"
                             "Parity: odd\nStop bits: 2\nLegends: a b c d e f g h i j k l m n o p\n"),
              std::string::npos)
        << out.str();
}

TEST_F(Cli, KeysPrintsTheKeyHeldDown) {
    device.setKeyDown(kKeys[5].keyNumber);
    ASSERT_EQ(run({"keys", "1"}), 0) << err.str();
    EXPECT_NE(out.str().find("Key 5 (row 2, column 2)\n"), std::string::npos) << out.str();
    EXPECT_GE(device.receivedCount(), 3u);  // "S" and polls 250 ms apart for a second
}

TEST_F(Cli, BadUsage) {
    EXPECT_EQ(run({}), 2);
    EXPECT_EQ(run({"frobnicate"}), 2);
    EXPECT_EQ(run({"write"}), 2);
    EXPECT_EQ(run({"keys", "soon"}), 2);
    EXPECT_NE(err.str().find("Usage: quillanterbrooke-cli"), std::string::npos);
    EXPECT_EQ(device.receivedCount(), 0u);
}

}  // namespace
}  // namespace qb
