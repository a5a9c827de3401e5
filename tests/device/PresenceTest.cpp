// The presence model and the device choice: what the status line says as devices come and go, and which
// device an operation's search takes when several are attached.
#include "device/DevicePresence.h"

#include <gtest/gtest.h>

#include <functional>

#include "DeviceTestSupport.h"
#include "device/QueueDispatcher.h"
#include "simulator/SimulatedDevice.h"

namespace qb {
namespace {

using namespace test;

struct PresenceCase {
    const char* what;
    std::function<void(SimulatedDevice&)> change;
    std::u16string status;
};

TEST(Presence, TheStatusFollowsPlugUnplugProgramModeAndAccess) {
    const PresenceCase cases[] = {
        {"attached", [](SimulatedDevice&) {}, u"VELMORA attached at sim:quillanterbrooke"},
        {"unplugged", [](SimulatedDevice& d) { d.unplug(); }, u"VELMORA not attached"},
        {"program mode", [](SimulatedDevice& d) { d.setRelease(kProgramModeRelease); },
         u"VELMORA in program mode at sim:quillanterbrooke"},
        {"another release", [](SimulatedDevice& d) { d.setRelease(2); }, u"VELMORA attached at sim:quillanterbrooke"},
        {"not accessible", [](SimulatedDevice& d) { d.setRefuseOpens(true, OpenFailure::AccessDenied); },
         u"VELMORA present, but not accessible to this user at sim:quillanterbrooke"},
        {"held elsewhere", [](SimulatedDevice& d) { d.setRefuseOpens(true, OpenFailure::Other); },
         u"VELMORA attached at sim:quillanterbrooke"},
        {"with a USB serial number", [](SimulatedDevice& d) { d.setSerialString("QB-7"); },
         u"VELMORA attached, USB serial QB-7"},
    };
    for (const PresenceCase& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedDevice device;
        QueueDispatcher dispatcher;
        DeviceLink link(device, dispatcher);
        DevicePresence presence(device, link);
        EXPECT_TRUE(presence.refresh());
        EXPECT_FALSE(presence.refresh()) << "nothing changed";
        c.change(device);
        presence.refresh();
        EXPECT_EQ(presence.statusText(), c.status);
        EXPECT_EQ(device.counters().openHandles, 0u) << "the access probe closes what it opened";
    }
}

// Another program's session (another link here) shows in the status line and the chooser; looking at the device
// opens nothing, so that session goes on undisturbed, and the status follows when it ends.
TEST(Presence, ADeviceInUseByAnotherProgramShowsAsSuchAndTheLookLeavesItAlone) {
    SimulatedDevice device;
    device.setSerialString("QB-7");
    QueueDispatcher dispatcher;
    DeviceLink ours(device, dispatcher), theirs(device, dispatcher);
    DevicePresence presence(device, ours);
    int answers = 0;
    theirs.setReportHandler([&] { ++answers; });
    presence.refresh();
    ASSERT_EQ(theirs.ConnectDevice().outcome, SearchOutcome::Connected);
    const std::size_t opens = device.counters().opens;
    device.setHolderName("quillanterbrooke-cli, process 1234");
    EXPECT_TRUE(presence.refresh());
    EXPECT_EQ(presence.encoders().at(0).state, EncoderState::InUse);
    EXPECT_EQ(presence.statusText(),
              u"VELMORA in use by another program (quillanterbrooke-cli, process 1234), USB serial QB-7");
    EXPECT_EQ(device.counters().opens, opens);
    theirs.SendReport('S');
    ASSERT_TRUE(dispatcher.runOne(kLongWait));
    EXPECT_EQ(answers, 1);

    theirs.Stop();
    EXPECT_TRUE(presence.refresh());
    EXPECT_EQ(presence.statusText(), u"VELMORA attached, USB serial QB-7");
}

// The identity an operation learnt stays with its device: gone once the device is.
TEST(Presence, TheIdentifiedVersionAndSerialShowUntilTheDeviceGoes) {
    SimulatedDevice device;
    QueueDispatcher dispatcher;
    DeviceLink link(device, dispatcher);
    DevicePresence presence(device, link);
    ASSERT_EQ(link.ConnectDevice().outcome, SearchOutcome::Connected);
    presence.refresh();
    const std::size_t opens = device.counters().opens;
    const std::size_t probes = device.counters().probes;
    presence.identified(u"1.2", 12345);
    presence.refresh();
    EXPECT_EQ(device.counters().opens, opens);
    EXPECT_EQ(device.counters().probes, probes) << "the device this program has open is not looked at";
    EXPECT_EQ(presence.statusText(),
              u"VELMORA attached at sim:quillanterbrooke: appware version 1.2, serial number 12345");
    device.unplug();
    EXPECT_TRUE(presence.refresh());
    device.replug();
    presence.refresh();
    EXPECT_EQ(presence.statusText(), u"VELMORA attached at sim:quillanterbrooke");
}

class TwoDevices : public ::testing::Test {
protected:
    void SetUp() override {
        a.setSerialString("A-1");
        b.setSerialString("B-2");
        bus.add({{}, "/dev/hidraw1", &a});
        bus.add({{}, "/dev/hidraw2", &b});
    }
    // The device the operations' search opens now.
    SimulatedDevice* connected() {
        if (link.ConnectDevice().outcome == SearchOutcome::NotFound) return nullptr;
        return link.openInterface().path == "/dev/hidraw1" ? &a : &b;
    }

    SimulatedDevice a, b;
    SimulatedBus bus;
    QueueDispatcher dispatcher;
    DeviceLink link{bus, dispatcher};
    DevicePresence presence{bus, link};
};

// Chosen by serial here; by path: the program's own test cli.program.device.
TEST_F(TwoDevices, TheChoiceDecidesWhichTheSearchOpens) {
    presence.refresh();
    ASSERT_EQ(presence.encoders().size(), 2u);
    EXPECT_EQ(presence.chosen(), 0) << "at first the one the search takes anyway";
    EXPECT_EQ(connected(), &a);

    presence.choose("B-2");
    EXPECT_EQ(presence.chosen(), 1);
    EXPECT_EQ(connected(), &b) << "the next search closes the connection to the other one";
    EXPECT_EQ(a.counters().openHandles, 0u);

    // With the choice cleared, the device in use stays in use though the search would take the other first.
    presence.choose("");
    presence.refresh();
    EXPECT_EQ(presence.chosen(), 1);
    EXPECT_EQ(connected(), &b);

    // One left: the search takes whatever is there.
    b.unplug();
    ASSERT_TRUE(WaitUntil([&] { return !link.deviceOpen(); }));
    presence.refresh();
    EXPECT_EQ(presence.encoders().size(), 1u);
    EXPECT_EQ(connected(), &a);
}

// Within the chosen device the search order stays: here the chosen one is in program mode while the other
// runs its application.
TEST_F(TwoDevices, TheSearchOrderHoldsWithinTheChosenDevice) {
    b.setRelease(kProgramModeRelease);
    presence.refresh();
    EXPECT_EQ(presence.encoders()[1].state, EncoderState::ProgramMode);
    presence.choose("B-2");
    EXPECT_EQ(link.ConnectDevice().outcome, SearchOutcome::ProgramMode);
    EXPECT_EQ(link.openInterface().path, "/dev/hidraw2");
}

}  // namespace
}  // namespace qb
