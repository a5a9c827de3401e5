// The simulated device answers as the real one does; its fault knobs do what they say.
#include "device/SimulatedDevice.h"

#include <gtest/gtest.h>

#include "DeviceTestSupport.h"

namespace qb {
namespace {

using namespace test;
using Data = std::array<std::uint8_t, 64>;  // what a read delivers: report bytes 1..64

HidReport Command(char command, std::uint8_t byte2 = 0) {
    HidReport r{};
    r[1] = static_cast<std::uint8_t>(command);
    r[2] = byte2;
    return r;
}

class SimulatedDeviceTest : public ::testing::Test {
protected:
    bool send(const HidReport& r) { return handle->write(r.data(), r.size()); }
    // The next answer, waiting at most `timeoutMs`; -1 / 0 as read() says.
    int receive(Data& data, int timeoutMs = 2000) { return handle->read(data.data(), data.size(), timeoutMs); }
    Data answer(const HidReport& r) {
        EXPECT_TRUE(send(r));
        Data data{};
        EXPECT_EQ(receive(data), 64);
        return data;
    }
    bool nothingWaiting() {
        Data data{};
        return receive(data, 0) == 0;
    }

    SimulatedDevice sim;
    std::unique_ptr<HidHandle> handle = sim.openHandle();
};

TEST_F(SimulatedDeviceTest, RefusesOpensUnplugsForGoodAndReplugs) {
    sim.setRefuseOpens(true);
    EXPECT_EQ(sim.open("sim:quillanterbrooke"), nullptr);
    sim.setRefuseOpens(false);

    ASSERT_TRUE(send(Command('E')));  // an answer waiting is lost with the device
    sim.unplug();
    EXPECT_TRUE(sim.enumerate().empty());
    EXPECT_EQ(sim.openHandle(), nullptr);
    Data data{};
    EXPECT_EQ(receive(data), -1);
    EXPECT_FALSE(send(Command('E')));

    sim.replug();
    auto fresh = sim.open("sim:quillanterbrooke");
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(receive(data, 0), -1) << "a handle from before the unplug stays dead";
    ASSERT_TRUE(fresh->write(Command('E').data(), kReportSize));
    EXPECT_EQ(fresh->read(data.data(), data.size(), 2000), 64);
}

TEST_F(SimulatedDeviceTest, IdentityReplyCarriesIdentitySerialAndVersion) {
    sim.setSerial(-2);
    sim.setVersion("V2.5");
    Data a = answer(Command('S'));
    EXPECT_EQ((std::vector<std::uint8_t>(a.begin() + 1, a.begin() + 9)),
              (std::vector<std::uint8_t>{0, 1, 3, 0, 0xFE, 0xFF, 0xFF, 0xFF}));  // report bytes 2..9
    EXPECT_EQ(std::string(a.begin() + 9, a.begin() + 14), std::string("V2.5\0", 5));

    sim.setIdentity({0, 1, 4});
    sim.setVersion(std::string(60, 'x'));
    a = answer(Command('S'));
    EXPECT_EQ(a[3], 4);
    EXPECT_EQ(std::string(a.begin() + 9, a.end()), std::string(55, 'x'));
}

TEST_F(SimulatedDeviceTest, KeepsWrittenBlocksAndServesTheirHalves) {
    SimulatedDevice::Block expected;
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<std::uint8_t>(i + 1);
    HidReport d = Command('d', 3), D = Command('D', 3);
    std::copy_n(expected.begin(), 48, d.begin() + 3);
    std::copy_n(expected.begin() + 48, 48, D.begin() + 3);
    d[51] = D[51] = 0xEE;  // beyond the half: not stored
    EXPECT_EQ(answer(d)[0], 'd');
    EXPECT_EQ(answer(D)[0], 'D');
    EXPECT_EQ(sim.block(3), expected);
    EXPECT_EQ(sim.block(2), SimulatedDevice::Block{});

    const Data r = answer(Command('r', 3)), R = answer(Command('R', 3));
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + 48, r.begin() + 1));  // report bytes 2..49
    EXPECT_TRUE(std::equal(expected.begin() + 48, expected.end(), R.begin() + 1));
    EXPECT_EQ(r[49], 0) << "nothing after report byte 49";

    answer(Command('d', 17));  // past the image: acknowledged, nothing stored
    EXPECT_EQ(answer(Command('r', 17)), Data{'r'});
}

TEST_F(SimulatedDeviceTest, OneAnswerEachUnlessDroppedDuplicatedOrInjected) {
    sim.setKeyDown(6);
    EXPECT_EQ(answer(Command('K'))[1], 6);
    EXPECT_EQ(answer(Command('E'))[0], 'E');
    EXPECT_TRUE(nothingWaiting());

    sim.dropNextAnswers(2);
    ASSERT_TRUE(send(Command('E')));
    ASSERT_TRUE(send(Command('d', 1)));
    EXPECT_TRUE(nothingWaiting());
    EXPECT_EQ(answer(Command('Z'))[0], 'Z');
    EXPECT_EQ(sim.receivedCount(), 5u) << "dropped answers still mean received reports";

    sim.duplicateNextAnswer();
    EXPECT_EQ(answer(Command('K'))[0], 'K');
    EXPECT_EQ(answer(Command('E'))[0], 'K');
    EXPECT_EQ(answer(Command('Z'))[0], 'E');

    HidReport stray = Command('X');
    stray[0] = 0x99;  // the report id is not sent
    sim.injectAnswer(stray);
    Data data{};
    ASSERT_EQ(receive(data, 0), 64);
    EXPECT_EQ(data, Data{'Z'}) << "only the next answer is doubled";
    ASSERT_EQ(receive(data, 0), 64);
    EXPECT_EQ(data, Data{'X'});
}

TEST_F(SimulatedDeviceTest, LogsEveryReportWholeAndWritesItAsATrace) {
    HidReport first = Command('S'), second = Command('d', 1);
    second[64] = 0xAB;
    ASSERT_TRUE(send(first));
    ASSERT_TRUE(send(second));
    const auto log = sim.receivedReports();
    EXPECT_EQ(log, (std::vector<HidReport>{first, second}));

    const std::string trace = sim.receivedTrace();
    EXPECT_EQ(trace.substr(0, 131), "0053" + std::string(126, '0') + "\n");
    EXPECT_EQ(SimulatedDevice::FormatReport(second).substr(124), "0000AB");
    std::vector<HidReport> parsed;
    ASSERT_TRUE(SimulatedDevice::ParseTrace("# comment\n\n" + trace, parsed));
    EXPECT_EQ(parsed, log);
    for (const std::string& bad : {std::string("0053\n"), trace.substr(0, 128) + "zz\n", trace.substr(0, 130) + "00\n"})
        EXPECT_FALSE(SimulatedDevice::ParseTrace(bad, parsed)) << bad;
}

}  // namespace
}  // namespace qb
