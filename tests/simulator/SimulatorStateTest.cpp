// The simulated device as new, kept between runs, and pressing keys on its own.
#include "simulator/SimulatorState.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "config/KeyTable.h"
#include "protocol/DeviceImage.h"
#include "simulator/DeviceModel.h"
#include "simulator/SimulatedDevice.h"
#include "tests/support/ScratchFolder.h"

namespace qb {
namespace {

using namespace std::chrono_literals;

DeviceBlocks BlocksOf(const SimulatedDevice& device) {
    DeviceBlocks blocks{};
    for (std::size_t n = 0; n < kBlockCount; ++n) blocks[n] = device.block(n);
    return blocks;
}

// Sends one report and returns the first answer byte after the command echo (the key number for "K").
std::uint8_t Send(HidHandle& handle, HidReport report) {
    EXPECT_TRUE(handle.write(report.data(), report.size()));
    std::uint8_t data[64]{};
    EXPECT_EQ(handle.read(data, sizeof data, 2000), 64);
    return data[kReplyDataByte - 1];
}

HidReport Command(std::uint8_t command) {
    HidReport report{};
    report[1] = command;
    return report;
}

// Writes `text` as the message of slot 0 (block 1's first half), closing the write if `complete`.
void WriteFirstMessage(SimulatedDevice& device, const std::string& text, bool complete) {
    const std::unique_ptr<HidHandle> handle = device.openHandle().handle;
    MessageBlock messages{};
    std::copy(text.begin(), text.end(), messages.begin());
    HidReport half = Command(kCmdFirstHalf);
    BuildMessageFirstHalf(half, 1, messages, 0);
    Send(*handle, Command(kCmdWriteStart));
    Send(*handle, half);
    if (complete) Send(*handle, Command(kCmdWriteEnd));
}

std::vector<std::string> Warnings;
void Collect(const std::string& text) {
    Warnings.push_back(text);
}

TEST(SimulatorState, ANewDeviceHoldsTheDefaultConfiguration) {
    SimulatedDevice device;
    const DeviceBlocks blocks = BlocksOf(device);
    SettingsBlock settings{};
    UnpackSettingsBlock(blocks[0], 0, settings);
    EXPECT_EQ(settings, kDefaultSettings);
    DeviceImage image;
    image.blocks = blocks;
    image.blocksRead = kBlockCount;
    const MessageReadBack read = DecodeMessageBlocks(image);
    ASSERT_TRUE(read.messages) << read.problem;
    for (const KeyInfo& key : kKeys) EXPECT_EQ((*read.messages)[key.slot], std::string(1, key.legend));
}

TEST(SimulatorState, ACompletedWriteIsKeptForTheNextRunAndForgottenOnRequest) {
    test::ScratchFolder scratch;
    const auto path = scratch / "cache/quillanterbrooke/state.dat";  // folders made on the first save
    Warnings.clear();
    {
        SimulatedDevice first;
        first.keepStateIn(path, Collect);
        WriteFirstMessage(first, "kept", true);
        WriteFirstMessage(first, "lost", false);  // never closed: not saved
    }
    SimulatedDevice second;
    second.keepStateIn(path, Collect);
    EXPECT_EQ(second.keyMessage(1), "kept");
    EXPECT_TRUE(Warnings.empty());

    std::string error;
    EXPECT_TRUE(ForgetSimulatorState(path, error));
    EXPECT_FALSE(std::filesystem::exists(path));
    SimulatedDevice third;
    third.keepStateIn(path, Collect);
    EXPECT_EQ(BlocksOf(third), DeviceModel::NewDeviceBlocks());
    EXPECT_TRUE(ForgetSimulatorState(path, error));           // nothing there: nothing to do
    EXPECT_FALSE(ForgetSimulatorState(scratch.path, error));  // a folder is never removed
}

TEST(SimulatorState, AnythingButAnIntactStateFileIsIgnoredWithAWarning) {
    test::ScratchFolder scratch;
    DeviceBlocks marked = DeviceModel::NewDeviceBlocks();
    marked[3][5] = 0xA5;
    const std::vector<std::uint8_t> intact = EncodeSimulatorState(marked);
    std::vector<std::uint8_t> edited = intact;
    edited[100] ^= 1;
    const std::vector<std::uint8_t> cut(intact.begin(), intact.end() - 1);
    std::vector<std::uint8_t> longer = intact;
    longer.push_back(0);
    const auto put = [&](const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    };
    int n = 0;
    std::vector<std::filesystem::path> paths;
    for (const auto& bytes : {edited, cut, longer, std::vector<std::uint8_t>{}})
        paths.push_back(put(scratch / ("bad" + std::to_string(n++)), bytes));
    paths.push_back(scratch.path);  // a folder
#ifndef _WIN32
    paths.push_back(scratch / "fifo");  // would block a plain open for reading
    ASSERT_EQ(mkfifo(paths.back().c_str(), 0600), 0);
#endif
    for (const auto& path : paths) {
        Warnings.clear();
        SimulatedDevice device;
        device.keepStateIn(path, Collect);
        EXPECT_EQ(Warnings.size(), 1u) << path;
        EXPECT_EQ(BlocksOf(device), DeviceModel::NewDeviceBlocks()) << path;
    }
    Warnings.clear();
    SimulatedDevice device;
    device.keepStateIn(put(scratch / "good", intact), Collect);
    EXPECT_TRUE(Warnings.empty());
    EXPECT_EQ(BlocksOf(device), marked);

    // A save that cannot be made is told and the write still answered.
    Warnings.clear();
    SimulatedDevice unsaved;
    unsaved.keepStateIn(paths.front() / "below-a-file", Collect);
    WriteFirstMessage(unsaved, "x", true);
    EXPECT_EQ(Warnings.size(), 1u);
}

TEST(SimulatorState, ScriptedKeysAreHeldFromTheirTimeUntilTheNextPress) {
    std::string error;
    const std::vector<ScriptedPress> script = ParseKeyScript("5@0.5,a@0.7,#@3", error);
    ASSERT_EQ(script.size(), 3u) << error;
    SimulatedDevice device;
    device.useManualClock();
    device.setKeyScript(script);
    const std::unique_ptr<HidHandle> handle = device.openHandle().handle;
    const auto keyAt = [&](std::chrono::milliseconds step) {
        device.advanceClock(step);
        return Send(*handle, Command(kCmdKeyPoll));
    };
    EXPECT_EQ(keyAt(499ms), 0);
    EXPECT_EQ(keyAt(1ms), kKeys[5].keyNumber);
    EXPECT_EQ(keyAt(200ms), kKeys[3].keyNumber);  // "5" cut short by "A"
    EXPECT_EQ(keyAt(499ms), kKeys[3].keyNumber);
    EXPECT_EQ(keyAt(1ms), 0);
    EXPECT_EQ(keyAt(1800ms), kKeys[14].keyNumber);

    for (const char* bad : {"", "5", "E@1", "5@-1", "5@1,", "5@2,6@1", "5@1e3", "55@1", "5@100000"}) {
        EXPECT_TRUE(ParseKeyScript(bad, error).empty()) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
}  // namespace qb
