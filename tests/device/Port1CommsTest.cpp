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
    void start() {
        reader = std::make_unique<Port1Comms>(handle, deviceOpen, inReport, dispatcher, [this] { onReport(); });
    }
    void onReport() {
        ++calls;
        seen.push_back(inReport);
        readBufferZero.push_back(
            std::all_of(reader->ReadBuffer.begin(), reader->ReadBuffer.end(), [](std::uint8_t b) { return b == 0; }));
        if (duringHandler) duringHandler();
    }

    ScriptedHandle handle;
    std::atomic<bool> deviceOpen{true};
    HidReport inReport{};
    WatchedDispatcher dispatcher;
    std::unique_ptr<Port1Comms> reader;

    int calls = 0;
    std::vector<HidReport> seen;
    std::vector<bool> readBufferZero;
    std::function<void()> duringHandler;
};

TEST_F(Port1CommsTest, HandsEachReportOverWithReportIdInFrontAndReadBufferCleared) {
    handle.push(ScriptedRead::Bytes(Pattern(0x10)));
    handle.push(ScriptedRead::Bytes(Pattern(0x80)));
    start();
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_TRUE(dispatcher.runOne(kLongWait));

    ASSERT_EQ(seen.size(), 2u);
    for (int k = 0; k < 2; ++k) {
        const std::uint8_t first = k == 0 ? 0x10 : 0x80;
        EXPECT_EQ(seen[k][0], 0) << "report id";
        for (std::size_t i = 1; i <= 64; ++i) EXPECT_EQ(seen[k][i], first + i - 1) << "report " << k << " byte " << i;
        EXPECT_TRUE(readBufferZero[k]) << "ReadBuffer not cleared before hand-off " << k;
    }
    EXPECT_TRUE(deviceOpen.load());
}

TEST_F(Port1CommsTest, EmptyReadsHandNothingOver) {
    handle.push(ScriptedRead::Nothing());
    handle.push(ScriptedRead::Nothing());
    handle.push(ScriptedRead::Nothing());
    handle.push(ScriptedRead::Bytes(Pattern(0x40)));
    start();
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_EQ(calls, 1);
    EXPECT_EQ(seen[0][1], 0x40) << "the first hand-off must be the first report, not an empty read";
    // The reader went back to reading, so nothing else is waiting to be handed over.
    ASSERT_TRUE(handle.waitForReads(handle.reads() + 2));
    EXPECT_EQ(dispatcher.runPending(), 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(dispatcher.posted(), 1u);
}

TEST_F(Port1CommsTest, ShortReportKeepsTheRestOfInReport) {
    handle.push(ScriptedRead::Bytes(std::vector<std::uint8_t>(64, 0xAA)));
    handle.push(ScriptedRead::Bytes({1, 2, 3}));
    start();
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_EQ(seen.size(), 2u);
    const HidReport& r = seen[1];
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(r[1], 1);
    EXPECT_EQ(r[2], 2);
    EXPECT_EQ(r[3], 3);
    for (std::size_t i = 4; i <= 64; ++i) EXPECT_EQ(r[i], 0xAA) << "byte " << i;
    EXPECT_TRUE(readBufferZero[1]);
}

TEST_F(Port1CommsTest, SecondReportWaitsUntilTheFirstHandlerHasReturned) {
    handle.push(ScriptedRead::Bytes(Pattern(0x01)));
    handle.push(ScriptedRead::Bytes(Pattern(0x02)));
    int depth = 0;
    duringHandler = [&] {
        ++depth;
        if (calls == 1) {
            const HidReport atStart = inReport;
            // Pumping inside the handler (a modal box would) must not bring the second report in early.
            EXPECT_FALSE(dispatcher.runOne(150ms));
            EXPECT_EQ(inReport, atStart) << "InReport changed while its handler ran";
        }
        EXPECT_EQ(depth, 1) << "handlers nested";
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
    handle.push(ScriptedRead::Failure());
    handle.push(ScriptedRead::Bytes(Pattern(0x50)));  // never read: the reader is gone
    start();
    ASSERT_TRUE(WaitUntil([&] { return reader->finished(); }));
    EXPECT_FALSE(deviceOpen.load());
    EXPECT_EQ(handle.reads(), 1);
    EXPECT_EQ(dispatcher.runPending(), 0);
    EXPECT_EQ(calls, 0);
}

TEST_F(Port1CommsTest, ReadsNothingWhileNoConnectionIsOpen) {
    deviceOpen = false;
    handle.push(ScriptedRead::Bytes(Pattern(0x60)));
    start();
    EXPECT_FALSE(dispatcher.runOne(200ms));
    EXPECT_EQ(handle.reads(), 0);
    Watchdog watchdog("stopping an idle reader");
    reader->requestStop();
    reader->join();
    EXPECT_TRUE(reader->finished());
}

TEST_F(Port1CommsTest, StopEndsAReaderBlockedInItsRead) {
    start();
    ASSERT_TRUE(handle.waitForReads(1));
    {
        Watchdog watchdog("stopping a reader blocked in its read");
        reader->requestStop();
        reader->join();
    }
    EXPECT_TRUE(reader->finished());
    EXPECT_TRUE(deviceOpen.load()) << "a stop is not a lost device";
    EXPECT_EQ(calls, 0);
}

TEST_F(Port1CommsTest, StopDropsAHandOffThatWasNeverRun) {
    handle.push(ScriptedRead::Bytes(Pattern(0x70)));
    start();
    ASSERT_TRUE(dispatcher.waitForPosted(1));
    {
        Watchdog watchdog("stopping a reader waiting in a hand-off");
        reader.reset();  // the destructor stops and joins
    }
    EXPECT_EQ(dispatcher.runPending(), 1);  // the queued hand-off runs, and does nothing
    EXPECT_EQ(calls, 0);
}

// A modal box inside the handler runs a nested loop in which the window may close: the stop then comes from
// inside the very hand-off the reader waits for.
TEST_F(Port1CommsTest, StopFromInsideTheHandlerDoesNotDeadlock) {
    handle.push(ScriptedRead::Bytes(Pattern(0x11)));
    handle.push(ScriptedRead::Bytes(Pattern(0x22)));
    duringHandler = [&] {
        Watchdog watchdog("stopping the reader from inside its hand-off");
        reader.reset();
        EXPECT_EQ(inReport[1], 0x11) << "the reader touched InReport after the stop";
    };
    start();
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(dispatcher.runOne(100ms));
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace qb
