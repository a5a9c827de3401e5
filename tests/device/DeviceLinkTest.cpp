// The device link against the simulated device, through the real reader thread; the test thread is the
// window's thread and pumps the dispatcher.
#include "device/DeviceLink.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "DeviceTestSupport.h"
#include "device/QueueDispatcher.h"
#include "protocol/Operations.h"
#include "simulator/SimulatedDevice.h"
#include "tests/support/FakeSink.h"

namespace qb {
namespace {

using namespace test;

const std::string kApplicationId = MakeHardwareId(0x04D8, 0xFD37, 0x0004);
const std::string kProgramModeId = MakeHardwareId(0x04D8, 0xFD37, 0x0001);
const std::string kOtherReleaseId = MakeHardwareId(0x04D8, 0xFD37, 0x0002);
constexpr SearchOutcome Connected = SearchOutcome::Connected;
constexpr SearchOutcome NotFound = SearchOutcome::NotFound;

struct SearchCase {
    const char* what;
    std::vector<std::vector<std::string>> interfaces;  // the hardware ids of each, on paths "0", "1", ...
    int opened;                                        // the interface left open, -1 for none
    SearchOutcome outcome;
    int searches;
    int refusing = -1;  // an interface whose device refuses every open
};

// Each search step takes the first interface whose first id matches, whether or not it opens.
TEST(DeviceSearch, ApplicationThenProgramModeThenAnyReleaseByTheFirstIdOnly) {
    const SearchCase cases[] = {
        {"application first", {{kOtherReleaseId}, {kProgramModeId}, {kApplicationId}}, 2, Connected, 1},
        {"program mode second", {{kOtherReleaseId}, {kProgramModeId}}, 1, SearchOutcome::ProgramMode, 2},
        {"release 0002 at the third step", {{kOtherReleaseId}}, 0, Connected, 3},
        {"lower case with a collection", {{"hid\\vid_04d8&pid_fd37&rev_0004&col01"}}, 0, Connected, 1},
        {"only the first id counts", {{"HID\\VID_1234", kApplicationId}}, -1, NotFound, 3},
        {"no devices at all", {}, -1, NotFound, 3},
        {"a match that refuses opens", {{kApplicationId}, {kApplicationId}}, -1, NotFound, 3, 0},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedDevice device, refusing;
        refusing.setRefuseOpens(true);
        SimulatedBus bus;
        for (int i = 0; i < int(c.interfaces.size()); ++i)
            bus.add({c.interfaces[i], std::to_string(i), i == c.refusing ? &refusing : &device});
        QueueDispatcher dispatcher;
        DeviceLink link(bus, dispatcher);
        EXPECT_EQ(link.ConnectDevice().outcome, c.outcome);
        EXPECT_EQ(link.deviceOpen(), c.opened >= 0);
        EXPECT_EQ(bus.enumerateCount(), c.searches);
        // One that refuses is tried at the first and the third step; the one opened is opened once, its read
        // handle a duplicate of the write handle.
        for (int i = 0; i < int(c.interfaces.size()); ++i)
            EXPECT_EQ(bus.openCount(std::to_string(i)), i == c.refusing ? 2 : i == c.opened ? 1 : 0) << i;
    }
}

// Two programs on one device: the second is told who holds it, its search ends there (the loader behind it is
// not taken instead), and it never sees the first one's answers; once the first ends, the second gets it.
TEST(DeviceSearch, ADeviceInUseEndsTheSearchAndIsToldWithItsHolder) {
    SimulatedDevice encoder, loader;
    loader.setRelease(kProgramModeRelease);
    SimulatedBus bus;
    bus.add({{}, "encoder", &encoder});
    bus.add({{}, "loader", &loader});
    QueueDispatcher dispatcher;
    DeviceLink first(bus, dispatcher), second(bus, dispatcher);
    int firstSeen = 0, secondSeen = 0;
    first.setReportHandler([&] { ++firstSeen; });
    second.setReportHandler([&] { ++secondSeen; });
    ASSERT_EQ(first.ConnectDevice().outcome, Connected);

    const SearchResult unnamed = second.ConnectDevice();
    EXPECT_EQ(unnamed.outcome, SearchOutcome::InUse);
    EXPECT_EQ(unnamed.holder, "");
    encoder.setHolderName("quillanterbrooke-cli, process 1234");
    test::FakeSink sink;
    EXPECT_EQ(ConnectDevice(second, sink), OutcomeKind::InUse);
    EXPECT_EQ(sink.errors(), std::vector<std::u16string>{
                                 u"VELMORA is in use by another program (quillanterbrooke-cli, process 1234)"});
    EXPECT_EQ(bus.openCount("loader"), 0);
    EXPECT_FALSE(second.deviceOpen());

    first.SendReport('S');
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    EXPECT_FALSE(dispatcher.runOne(50ms));
    EXPECT_EQ(firstSeen, 1);
    EXPECT_EQ(secondSeen, 0);
    EXPECT_EQ(encoder.counters().openHandles, 2u) << "the first one's write and read handles only";

    first.Stop();
    EXPECT_EQ(second.ConnectDevice().outcome, Connected);
    EXPECT_EQ(second.openInterface().path, "encoder");
}

class DeviceLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        link.setReportHandler([this] {
            seen.push_back(link.InReport);
            if (duringHandler) duringHandler();
        });
        ASSERT_EQ(link.ConnectDevice().outcome, SearchOutcome::Connected);
    }
    // A send that reaches no device, not even a handle of one that is gone.
    void expectSendGoesNowhere() {
        const std::size_t writes = sim.counters().writes;
        link.SendReport('S');
        EXPECT_EQ(sim.counters().writes, writes);
    }

    SimulatedDevice sim;
    QueueDispatcher dispatcher;
    std::vector<HidReport> seen;
    std::function<void()> duringHandler;
    DeviceLink link{sim, dispatcher};  // last: stopped before everything it uses goes
};

// What goes out and comes back on the new connection: the unplug tests of the device operations, and the
// recorded traces for every byte of a report.
TEST_F(DeviceLinkTest, UnplugIsToldOnTheWindowThreadAndReplugConnectsAnew) {
    int lost = 0;
    link.setConnectionLostHandler([&] { ++lost; });
    sim.unplug();
    ASSERT_TRUE(dispatcher.runOne(kLongWait)) << "the notice of the lost connection";
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(link.deviceOpen());
    EXPECT_EQ(sim.counters().closedHandles, 2u);
    expectSendGoesNowhere();
    EXPECT_EQ(link.ConnectDevice().outcome, SearchOutcome::NotFound) << "a new search";

    sim.replug();
    ASSERT_EQ(link.ConnectDevice().outcome, SearchOutcome::Connected);
    EXPECT_EQ(sim.counters().opens, 4u) << "two new handles";

    // A notice that arrives after the link has connected anew is about the old connection: nobody is told.
    sim.unplug();
    ASSERT_TRUE(WaitUntil([&] { return !link.deviceOpen(); }));
    sim.replug();
    ASSERT_EQ(link.ConnectDevice().outcome, SearchOutcome::Connected);
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    EXPECT_EQ(lost, 1);
    EXPECT_TRUE(link.deviceOpen());
}

// At exit the link is stopped while a hand-off waits in a queue nobody pumps any more.
TEST_F(DeviceLinkTest, StopWhileAHandOffIsQueuedDropsIt) {
    link.SendReport('S');
    ASSERT_TRUE(WaitUntil([&] { return dispatcher.pendingCount() == 1; }));
    WithoutHang([&] { link.Stop(); });
    EXPECT_EQ(dispatcher.runPending(), 1);
    EXPECT_TRUE(seen.empty()) << "a report reached the handler after the stop";
}

// The window closes from a nested loop inside the handler (a modal box): Stop runs inside the hand-off, ends
// the reader blocked in its next read, and leaves nothing open to send to.
TEST_F(DeviceLinkTest, StopFromInsideTheHandler) {
    duringHandler = [&] { WithoutHang([&] { link.Stop(); }); };
    link.SendReport('S');
    sim.injectAnswer(HidReport{0, 'X'});  // a second report already waiting
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    EXPECT_FALSE(dispatcher.runOne(100ms));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(link.InReport, seen[0]) << "the reader touched InReport after the stop";
    EXPECT_FALSE(link.deviceOpen());
    expectSendGoesNowhere();
}

}  // namespace
}  // namespace qb
