// The reader thread on its own, fed by a scripted read handle; the test thread is the window's thread.
#include "device/Port1commsunit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>

#if defined(__linux__)
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "DeviceTestSupport.h"
#include "device/QueueDispatcher.h"
#include "device/Transport.h"

namespace qb {
namespace {

using namespace test;

// Plays its script, then lets every read time out. Each step is {n, first}: -1 the device is gone, 0 nothing
// came in time, n > 0 that many data bytes counting up from `first`.
struct ScriptedHandle : HidHandle {
    bool write(const std::uint8_t*, std::size_t) override { return true; }
    int read(std::uint8_t* data, std::size_t, int timeoutMs) override {
#if defined(__linux__)
        if (reads == 0) {
            policy = sched_getscheduler(0);
            nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        }
#endif
        ++reads;
        if (script.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            return 0;
        }
        const auto [n, first] = script.front();
        script.pop_front();
        for (int i = 0; i < n; ++i) data[i] = static_cast<std::uint8_t>(first + i);
        return n;
    }

    std::deque<std::pair<int, std::uint8_t>> script;  // complete before the reader starts
    std::atomic<int> reads{0};
    int policy = -1;  // the reader's scheduling, seen from its first read
    int nice = 0;
};

class Port1CommsTest : public ::testing::Test {
protected:
    // Each hand-off records InReport and checks that ReadBuffer is all zero again.
    void start(std::initializer_list<std::pair<int, std::uint8_t>> script) {
        handle.script.assign(script);
        inReport.fill(0xEE);  // so that a missing report id shows
        reader = std::make_unique<Port1Comms>(handle, deviceOpen, inReport, dispatcher, [this] {
            seen.push_back(inReport);
            const HidReport& buffer = reader->ReadBuffer;
            EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; }))
                << "ReadBuffer not cleared before hand-off " << seen.size();
            if (duringHandler) duringHandler();
        });
    }

    ScriptedHandle handle;
    std::atomic<bool> deviceOpen{true};
    HidReport inReport;
    QueueDispatcher dispatcher;
    std::vector<HidReport> seen;
    std::function<void()> duringHandler;
    std::unique_ptr<Port1Comms> reader;  // last: stopped before everything it uses goes
};

// Empty reads hand nothing over; a failed read clears DeviceOpen and ends the reader without a hand-off.
TEST_F(Port1CommsTest, HandsEachReportOverWithReportIdInFrontUntilAReadFails) {
    start({{0, 0}, {64, 0x10}, {0, 0}, {3, 0x01}, {0, 0}, {-1, 0}, {64, 0x50}});
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_TRUE(WaitUntil([&] { return reader->finished(); }));
    EXPECT_FALSE(deviceOpen.load());
    EXPECT_EQ(handle.reads, 6) << "read on after the failed read";
#if defined(__linux__)
    // An ordinary thread at the process's priority: a low-priority reader starves on a busy machine.
    EXPECT_EQ(handle.policy, SCHED_OTHER);
    EXPECT_EQ(handle.nice, getpriority(PRIO_PROCESS, 0));
#endif
    EXPECT_EQ(dispatcher.runPending(), 0);

    HidReport expected{};
    for (std::size_t i = 1; i <= 64; ++i) expected[i] = static_cast<std::uint8_t>(0x10 + i - 1);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], expected);
    for (std::size_t i = 1; i <= 3; ++i) expected[i] = static_cast<std::uint8_t>(i);  // a short report's own bytes
    EXPECT_EQ(seen[1], expected);
}

TEST_F(Port1CommsTest, SecondReportWaitsUntilTheFirstHandlerHasReturned) {
    duringHandler = [&] {
        if (seen.size() > 1) return;
        // Pumping inside the handler (a modal box would) must not bring the second report in early.
        EXPECT_FALSE(dispatcher.runOne(150ms));
        EXPECT_EQ(inReport, seen[0]) << "InReport changed while its handler ran";
    };
    start({{64, 0x01}, {64, 0x02}});
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0][1], 0x01);
    EXPECT_EQ(seen[1][1], 0x02);
}

}  // namespace
}  // namespace qb
