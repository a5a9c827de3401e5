// The reader thread on its own, fed by a scripted read handle; the test thread is the window's thread.
#include "device/Port1commsunit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "DeviceTestSupport.h"

namespace qb {
namespace {

using namespace test;

class Port1CommsTest : public ::testing::Test {
protected:
    void SetUp() override { inReport.fill(0xEE); }  // so that a missing report id shows
    void start() {
        reader = std::make_unique<Port1Comms>(handle, deviceOpen, inReport, dispatcher, [this] {
            seen.push_back(inReport);
            const auto& buffer = reader->ReadBuffer;
            readBufferZero.push_back(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; }));
            if (duringHandler) duringHandler();
        });
    }

    ScriptedHandle handle;
    std::atomic<bool> deviceOpen{true};
    HidReport inReport;
    QueueDispatcher dispatcher;
    std::unique_ptr<Port1Comms> reader;

    std::vector<HidReport> seen;
    std::vector<bool> readBufferZero;
    std::function<void()> duringHandler;
};

TEST_F(Port1CommsTest, HandsEachReportOverWithReportIdInFrontAndSkipsEmptyReads) {
    handle.push(0);
    handle.push(64, Pattern(0x10));
    handle.push(0);
    handle.push(0);
    handle.push(3, {1, 2, 3});  // a short report overwrites only its own bytes
    start();
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_EQ(seen.size(), 2u) << "an empty read was handed over";

    HidReport expected{};
    for (std::size_t i = 1; i <= 64; ++i) expected[i] = static_cast<std::uint8_t>(0x10 + i - 1);
    EXPECT_EQ(seen[0], expected);
    expected[1] = 1, expected[2] = 2, expected[3] = 3;
    EXPECT_EQ(seen[1], expected);
    EXPECT_EQ(readBufferZero, (std::vector<bool>{true, true})) << "ReadBuffer not cleared before a hand-off";

    // The reader went back to reading, and nothing else is waiting to be handed over.
    const int reads = handle.reads();
    ASSERT_TRUE(WaitUntil([&] { return handle.reads() >= reads + 2; }));
    EXPECT_EQ(dispatcher.runPending(), 0);
    EXPECT_TRUE(deviceOpen.load());
}

TEST_F(Port1CommsTest, SecondReportWaitsUntilTheFirstHandlerHasReturned) {
    handle.push(64, Pattern(0x01));
    handle.push(64, Pattern(0x02));
    int depth = 0;
    duringHandler = [&] {
        EXPECT_EQ(++depth, 1) << "handlers nested";
        if (seen.size() == 1) {
            // Pumping inside the handler (a modal box would) must not bring the second report in early.
            EXPECT_FALSE(dispatcher.runOne(150ms));
            EXPECT_EQ(inReport, seen[0]) << "InReport changed while its handler ran";
        }
        --depth;
    };
    start();
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0][1], 0x01);
    EXPECT_EQ(seen[1][1], 0x02);
}

TEST_F(Port1CommsTest, FailedReadClearsDeviceOpenAndEndsWithoutHandOff) {
    handle.push(-1);
    handle.push(64, Pattern(0x50));  // never read: the reader is gone
    start();
    ASSERT_TRUE(WaitUntil([&] { return reader->finished(); }));
    EXPECT_FALSE(deviceOpen.load());
    EXPECT_EQ(handle.reads(), 1);
    EXPECT_EQ(dispatcher.runPending(), 0);
    EXPECT_TRUE(seen.empty());
}

}  // namespace
}  // namespace qb
