// The device link against the simulated device, through the real reader thread; the test thread is the
// window's thread and pumps the dispatcher.
#include "device/DeviceLink.h"

#include <gtest/gtest.h>

#include <memory>

#include "DeviceTestSupport.h"
#include "device/SimulatedDevice.h"
#include "tests/support/FakeSink.h"

namespace qb {
namespace {

using namespace test;

const std::u16string kProgramMode = kProgramModeText;
const std::u16string kCannotFind = kCannotFindText;

HidReport Stray(std::uint8_t tag) {
    HidReport r{};
    for (std::size_t i = 1; i < r.size(); ++i) r[i] = static_cast<std::uint8_t>(tag + i);
    return r;
}

class DeviceLinkTest : public ::testing::Test {
protected:
    void SetUp() { link = std::make_unique<DeviceLink>(sim, dispatcher); }
    void useBus() { link = std::make_unique<DeviceLink>(bus, dispatcher); }
    void countReports() {
        link->setReportHandler([this] {
            ++calls;
            seen.push_back(link->InReport);
            if (duringHandler) duringHandler();
        });
    }

    SimulatedDevice sim;
    SimulatedBus bus;
    WatchedDispatcher dispatcher;
    FakeSink sink;
    std::unique_ptr<DeviceLink> link;  // destroyed before the devices and the dispatcher

    int calls = 0;
    std::vector<HidReport> seen;
    std::function<void()> duringHandler;
};

TEST_F(DeviceLinkTest, ConnectsToTheApplicationAndHandsItsAnswerOver) {
    countReports();
    ASSERT_TRUE(link->ConnectDevice(sink));
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_TRUE(link->deviceOpen());
    EXPECT_EQ(sim.counters().opens, 2u) << "opened once for writing, once for reading";

    link->SendReport('S');
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_EQ(calls, 1);
    EXPECT_EQ(seen[0][0], 0);
    EXPECT_EQ(seen[0][2], 0);
    EXPECT_EQ(seen[0][3], 1);
    EXPECT_EQ(seen[0][4], 3);

    // Already open: no search, no message.
    ASSERT_TRUE(link->ConnectDevice(sink));
    EXPECT_EQ(sim.counters().opens, 2u);
}

TEST_F(DeviceLinkTest, SendReportSetsIdAndCommandAndSendsLeftoversOfEarlierReports) {
    ASSERT_TRUE(link->ConnectDevice(sink));
    link->OutReport[0] = 0x99;
    link->OutReport[2] = 0x42;
    link->OutReport[64] = 0x77;
    link->SendReport('E');
    link->SendReport('Z');
    const auto received = sim.receivedReports();
    ASSERT_EQ(received.size(), 2u);
    for (const HidReport& r : received) {
        EXPECT_EQ(r[0], 0);
        EXPECT_EQ(r[2], 0x42);
        EXPECT_EQ(r[64], 0x77);
    }
    EXPECT_EQ(received[0][1], 'E');
    EXPECT_EQ(received[1][1], 'Z');
    EXPECT_EQ(link->OutReport[1], 'Z');
    EXPECT_EQ(link->OutReport[64], 0x77) << "OutReport is never cleared";
}

TEST_F(DeviceLinkTest, SearchPrefersApplicationThenProgramModeThenAnyRelease) {
    SimulatedDevice other("bus:0002"), programMode("bus:0001"), application("bus:0004");
    other.setRelease(0x0002);
    programMode.setRelease(kProgramModeRelease);
    bus.add({{}, "bus:0002", &other});
    bus.add({{}, "bus:0001", &programMode});
    bus.add({{}, "bus:0004", &application});
    useBus();
    ASSERT_TRUE(link->ConnectDevice(sink));
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(bus.openCount("bus:0004"), 2);
    EXPECT_EQ(bus.openCount("bus:0001"), 0);
    EXPECT_EQ(bus.openCount("bus:0002"), 0);
    link->SendReport('S');
    EXPECT_EQ(application.receivedCount(), 1u);
}

TEST_F(DeviceLinkTest, ProgramModeIsReportedThenUsedWithoutSearchOnTheNextClick) {
    SimulatedDevice other("bus:0002"), programMode("bus:0001");
    other.setRelease(0x0002);
    programMode.setRelease(kProgramModeRelease);
    bus.add({{}, "bus:0002", &other});
    bus.add({{}, "bus:0001", &programMode});
    useBus();
    countReports();

    EXPECT_FALSE(link->ConnectDevice(sink));
    EXPECT_EQ(sink.errors(), std::vector<std::u16string>{kProgramMode});
    EXPECT_TRUE(link->deviceOpen()) << "the program-mode device stays open";
    const int searches = bus.enumerateCount();

    EXPECT_TRUE(link->ConnectDevice(sink));
    EXPECT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(bus.enumerateCount(), searches) << "no search while a device is open";
    link->SendReport('S');
    EXPECT_EQ(programMode.receivedCount(), 1u);
    EXPECT_EQ(other.receivedCount(), 0u);
    ASSERT_TRUE(dispatcher.runOne(kLongWait)) << "its reader runs";
    EXPECT_EQ(calls, 1);
}

TEST_F(DeviceLinkTest, AnyOtherReleaseIsFoundAtTheThirdStep) {
    SimulatedDevice other("bus:0002");
    other.setRelease(0x0002);
    bus.add({{}, "bus:0002", &other});
    useBus();
    ASSERT_TRUE(link->ConnectDevice(sink));
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(bus.enumerateCount(), 3);
    EXPECT_EQ(bus.openCount("bus:0002"), 2);
}

TEST_F(DeviceLinkTest, OnlyTheFirstHardwareIdIsCompared) {
    bus.add({{"HID\\VID_1234&PID_0001&REV_0001", "HID\\VID_04D8&PID_FD37&REV_0004"}, "bus:second-id", &sim});
    useBus();
    EXPECT_FALSE(link->ConnectDevice(sink));
    EXPECT_EQ(sink.errors(), std::vector<std::u16string>{kCannotFind});
    EXPECT_EQ(bus.openCount("bus:second-id"), 0);
}

TEST_F(DeviceLinkTest, MatchingIsCaseInsensitiveAndAllowsACollectionSuffix) {
    bus.add({{"hid\\vid_04d8&pid_fd37&rev_0004&col01"}, "bus:lower", &sim});
    useBus();
    EXPECT_TRUE(link->ConnectDevice(sink));
    EXPECT_TRUE(sink.shown.empty());
    EXPECT_EQ(bus.enumerateCount(), 1);
}

TEST_F(DeviceLinkTest, NoDevicesAtAll) {
    useBus();
    EXPECT_FALSE(link->ConnectDevice(sink));
    EXPECT_EQ(sink.errors(), std::vector<std::u16string>{kCannotFind});
    EXPECT_EQ(sink.shown.size(), 1u);
    EXPECT_EQ(bus.enumerateCount(), 3);
    EXPECT_FALSE(link->deviceOpen());
    link->SendReport('S');  // nothing open: nothing to write to, and no crash
}

// The search stops at the first match whether or not it opens, so a device behind a busy one is not reached.
TEST_F(DeviceLinkTest, AMatchingInterfaceThatRefusesOpensEndsEachSearch) {
    bus.add({{MakeHardwareId(0x04D8, 0xFD37, 0x0004)}, "bus:busy", nullptr});
    bus.add({{}, "bus:good", &sim});
    useBus();
    EXPECT_FALSE(link->ConnectDevice(sink));
    EXPECT_EQ(sink.errors(), std::vector<std::u16string>{kCannotFind});
    EXPECT_EQ(bus.openCount("bus:busy"), 4) << "tried at the first and the third step, write and read each";
    EXPECT_EQ(bus.openCount("bus:good"), 0);
    EXPECT_FALSE(link->deviceOpen());
}

TEST_F(DeviceLinkTest, ADeviceRefusingOpensIsNotFound) {
    sim.setRefuseOpens(true);
    EXPECT_FALSE(link->ConnectDevice(sink));
    EXPECT_EQ(sink.errors(), std::vector<std::u16string>{kCannotFind});
    EXPECT_EQ(sim.counters().opens, 0u);
    EXPECT_EQ(sim.counters().openHandles, 0u);

    sim.setRefuseOpens(false);
    EXPECT_TRUE(link->ConnectDevice(sink));
}

TEST_F(DeviceLinkTest, AnswersBackToBackAreHandledInOrderOneAtATime) {
    countReports();
    ASSERT_TRUE(link->ConnectDevice(sink));
    int depth = 0;
    duringHandler = [&] {
        ++depth;
        EXPECT_EQ(depth, 1) << "handlers nested";
        if (calls == 1) {
            const HidReport atStart = link->InReport;
            EXPECT_FALSE(dispatcher.runOne(150ms)) << "second answer handed over before the first handler returned";
            EXPECT_EQ(link->InReport, atStart);
        }
        --depth;
    };
    sim.injectAnswer(Stray(0x10));
    sim.injectAnswer(Stray(0x20));
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], Stray(0x10));
    EXPECT_EQ(seen[1], Stray(0x20));
}

TEST_F(DeviceLinkTest, UnplugEndsTheConnectionQuietlyAndReplugConnectsAnew) {
    countReports();
    ASSERT_TRUE(link->ConnectDevice(sink));
    sim.unplug();
    ASSERT_TRUE(WaitUntil([&] { return !link->deviceOpen(); }));
    EXPECT_TRUE(sink.shown.empty()) << "a lost device shows nothing by itself";

    // A send to the lost connection writes nothing, and the lost handles are closed.
    const std::size_t writes = sim.counters().writes;
    link->SendReport('S');
    EXPECT_EQ(sim.counters().writes, writes);
    EXPECT_EQ(sim.counters().openHandles, 0u);
    EXPECT_EQ(sim.counters().closedHandles, 2u);

    EXPECT_FALSE(link->ConnectDevice(sink));
    EXPECT_EQ(sink.errors(), std::vector<std::u16string>{kCannotFind});

    sim.replug();
    ASSERT_TRUE(link->ConnectDevice(sink));
    EXPECT_EQ(sim.counters().opens, 4u) << "two new handles";
    EXPECT_EQ(sim.counters().openHandles, 2u);
    link->SendReport('K');
    ASSERT_TRUE(dispatcher.runOne(kLongWait)) << "a new reader hands the answer over";
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen[0][1], 'K');
}

TEST_F(DeviceLinkTest, UnplugWhileAHandOffWaitsLetsItRunAndThenEnds) {
    countReports();
    ASSERT_TRUE(link->ConnectDevice(sink));
    link->SendReport('S');
    ASSERT_TRUE(dispatcher.waitForPosted(1));
    sim.unplug();
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    EXPECT_EQ(calls, 1);
    ASSERT_TRUE(WaitUntil([&] { return !link->deviceOpen(); }));
    EXPECT_FALSE(link->ConnectDevice(sink));
    EXPECT_EQ(sim.counters().openHandles, 0u);
}

TEST_F(DeviceLinkTest, StopEndsAReaderBlockedInItsRead) {
    ASSERT_TRUE(link->ConnectDevice(sink));
    {
        Watchdog watchdog("Stop with the reader in its read");
        link->Stop();
    }
    EXPECT_FALSE(link->deviceOpen());
    EXPECT_EQ(sim.counters().openHandles, 0u);
    const std::size_t writes = sim.counters().writes;
    link->SendReport('S');
    EXPECT_EQ(sim.counters().writes, writes);
}

TEST_F(DeviceLinkTest, StopWhileAHandOffIsQueuedDropsIt) {
    countReports();
    ASSERT_TRUE(link->ConnectDevice(sink));
    link->SendReport('S');
    ASSERT_TRUE(dispatcher.waitForPosted(1));
    {
        Watchdog watchdog("Stop with a hand-off never pumped");
        link->Stop();
    }
    EXPECT_EQ(dispatcher.runPending(), 1);
    EXPECT_EQ(calls, 0) << "a report reached the handler after Stop";
}

TEST_F(DeviceLinkTest, DestroyingTheLinkWhileAHandOffIsQueuedDropsIt) {
    int late = 0;
    link->setReportHandler([&] { ++late; });
    ASSERT_TRUE(link->ConnectDevice(sink));
    link->SendReport('S');
    ASSERT_TRUE(dispatcher.waitForPosted(1));
    {
        Watchdog watchdog("destroying the link with a hand-off never pumped");
        link.reset();
    }
    EXPECT_EQ(dispatcher.runPending(), 1);
    EXPECT_EQ(late, 0);
    EXPECT_EQ(sim.counters().openHandles, 0u);
}

// The window closes from a nested loop inside the handler (a modal box): Stop runs inside the hand-off.
TEST_F(DeviceLinkTest, StopFromInsideTheHandler) {
    countReports();
    ASSERT_TRUE(link->ConnectDevice(sink));
    duringHandler = [&] {
        Watchdog watchdog("Stop from inside the handler");
        link->Stop();
        link->SendReport('E');  // closed now: goes nowhere
    };
    link->SendReport('S');
    sim.injectAnswer(Stray(0x30));  // a second report already waiting
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(dispatcher.runOne(100ms));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(sim.receivedCount(), 1u);
    EXPECT_FALSE(link->deviceOpen());
}

}  // namespace
}  // namespace qb
