// Plugs told apart from paths: enumerations and watcher events as a workshop's bench produces them.
#include "device/PlugTracker.h"

#include <gtest/gtest.h>

#include <chrono>

#include "device/PlugWatcher.h"
#include "device/QueueDispatcher.h"

namespace qb {
namespace {

HidInterfaceInfo Encoder(const std::string& path, const std::string& serial) {
    HidInterfaceInfo info = HidInterfaceInfo::Make(0x04D8, 0xFD37, 4, path);
    info.serialNumber = serial;
    return info;
}

BusEvent Added(const std::string& node, std::uint64_t sequence = 0) {
    return {BusEvent::Action::Added, node, sequence};
}
BusEvent Removed(const std::string& node, std::uint64_t sequence = 0) {
    return {BusEvent::Action::Removed, node, sequence};
}

std::vector<std::uint64_t> Ids(const std::vector<Plug>& plugs) {
    std::vector<std::uint64_t> ids;
    for (const Plug& plug : plugs) ids.push_back(plug.id);
    return ids;
}
using Ids_ = std::vector<std::uint64_t>;
using Change = std::pair<Ids_, Ids_>;  // removed, added

// The watcher's events, then an enumeration finding `bus`: the plugs removed and added.
Change Step(PlugTracker& tracker, const BusEvents& events, const std::vector<HidInterfaceInfo>& bus) {
    tracker.events(events);
    tracker.look(bus);
    return {Ids(tracker.removed()), Ids(tracker.added())};
}

TEST(PlugTrackerTest, ADeviceThatStaysIsReportedOnceEvenWhenItsOwnAddEventComesLate) {
    PlugTracker tracker;
    const std::vector a{Encoder("/dev/hidraw0", "A")};
    EXPECT_EQ(Step(tracker, {}, a), (Change{{}, {1}}));
    for (const BusEvents& events : {BusEvents{}, BusEvents{Added("/dev/hidraw0", 10)}, BusEvents{}})
        EXPECT_EQ(Step(tracker, events, a), Change{});
    EXPECT_EQ(Step(tracker, {}, {}), (Change{{1}, {}}));
    EXPECT_TRUE(tracker.present().empty());
}

TEST(PlugTrackerTest, AReplugOnTheSamePathIsANewPlugWhenTheWatcherOrTheInterfaceSaysSo) {
    struct Case {
        const char* name;
        BusEvents events;
        std::string secondSerial;
        bool newPlug;
    };
    for (const Case& c : {
             Case{"unplugged and back in (udev)", {Removed("/dev/hidraw0", 7), Added("/dev/hidraw0", 8)}, "A", true},
             Case{"unplugged and back in (Windows: no sequence)",
                  {Removed("/dev/hidraw0"), Added("/dev/hidraw0")},
                  "A",
                  true},
             Case{"another device, no events (polling)", {}, "B", true},
             Case{"the same device, no events (polling cannot tell)", {}, "A", false},
             Case{"another node's events", {Removed("/dev/hidraw1", 7), Added("/dev/hidraw1", 8)}, "A", false},
         }) {
        SCOPED_TRACE(c.name);
        PlugTracker tracker;
        tracker.look({Encoder("/dev/hidraw0", "A")});
        EXPECT_EQ(Step(tracker, c.events, {Encoder("/dev/hidraw0", c.secondSerial)}),
                  (c.newPlug ? Change{{1}, {2}} : Change{}));
        ASSERT_EQ(tracker.present().size(), 1u);
        EXPECT_EQ(tracker.present()[0].info.serialNumber, c.secondSerial);
    }
}

TEST(PlugTrackerTest, ASwapWithin100MsIsARemoveAndAnAddAndOthersStayUntouched) {
    PlugTracker tracker;
    const std::vector both{Encoder("/dev/hidraw0", "A"), Encoder("/dev/hidraw1", "B")};
    tracker.look(both);
    // One encoder pulled and the next pushed in before the watcher's batch settled: the kernel gave it hidraw0
    // again, and both carry no serial number, so only the events tell them apart.
    const BusEvents swap{Removed("/dev/hidraw0", 20), Added("/dev/hidraw0", 21)};
    EXPECT_EQ(Step(tracker, swap, both), (Change{{1}, {3}}));
    EXPECT_EQ(Ids(tracker.present()), (Ids_{2, 3}));
    EXPECT_EQ(Step(tracker, swap, both), Change{}) << "the same batch handed over again is not another swap";
}

TEST(PlugTrackerTest, APathWhoseLastEventWasItsRemovalIsNotAddedUntilItIsBack) {
    PlugTracker tracker;
    const std::vector a{Encoder("/dev/hidraw0", "A")};  // enumeration still lists the node on its way out
    tracker.look(a);
    EXPECT_EQ(Step(tracker, {Removed("/dev/hidraw0", 3)}, a), (Change{{1}, {}}));
    EXPECT_EQ(Step(tracker, {Added("/dev/hidraw0", 4)}, a), (Change{{}, {2}}));
}

// The bus as a list the test changes between looks.
class ListedBus : public Transport {
public:
    std::vector<HidInterfaceInfo> enumerate() override { return interfaces; }
    OpenResult open(const std::string&) override { return OpenResult::Failed(OpenFailure::Other); }
    std::vector<HidInterfaceInfo> interfaces;
};

TEST(PlugWatcherTest, TellsTheEncodersThatCameAndWentAfterEachLookAndNothingElse) {
    using namespace std::chrono_literals;
    QueueDispatcher dispatcher;
    ListedBus bus;
    bus.interfaces = {Encoder("p0", "A"), HidInterfaceInfo::Make(0x046D, 0xC52B, 1, "mouse")};
    PlugWatcher plugs(bus, MakePollingBusWatcher(dispatcher, 5ms));
    std::vector<Ids_> calls;  // removed, added, removed, added, ...
    plugs.start([&](const std::vector<Plug>& removed, const std::vector<Plug>& added) {
        calls.push_back(Ids(removed));
        calls.push_back(Ids(added));
    });
    EXPECT_EQ(calls, (std::vector<Ids_>{{}, {1}})) << "the encoder plugged in before the start, not the mouse";
    for (int i = 0; i < 5; ++i) dispatcher.runOne(1s);
    EXPECT_EQ(calls.size(), 2u) << "looks that found nothing new";
    bus.interfaces = {Encoder("p1", "B")};
    while (calls.size() < 4 && dispatcher.runOne(1s)) {
    }
    EXPECT_EQ(calls, (std::vector<Ids_>{{}, {1}, {1}, {2}}));
    EXPECT_EQ(Ids(plugs.present()), Ids_{2});
}

}  // namespace
}  // namespace qb
