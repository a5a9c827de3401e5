// What of the simulated device the link, operation and front-end tests do not already rely on.
#include "simulator/SimulatedDevice.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

using Data = std::array<std::uint8_t, 64>;  // what a read delivers: report bytes 1..64

HidReport Command(char command, std::uint8_t block = 0) {
    HidReport r{};
    r[1] = static_cast<std::uint8_t>(command);
    r[2] = block;
    return r;
}

class SimulatedDeviceTest : public ::testing::Test {
protected:
    bool send(const HidReport& r) { return handle->write(r.data(), r.size()); }
    // The first byte of the next answer, or -1 / 0 as read() says.
    int receive(int timeoutMs = 2000) {
        Data data{};
        const int n = handle->read(data.data(), data.size(), timeoutMs);
        return n == 64 ? data[0] : n;
    }

    SimulatedDevice sim;
    std::unique_ptr<HidHandle> handle = sim.openHandle().handle;
};

// The device re-enumerating: gone and back at once.
TEST_F(SimulatedDeviceTest, HandlesFromBeforeAnUnplugStayDead) {
    sim.unplug();
    sim.replug();
    EXPECT_EQ(receive(0), -1);
    EXPECT_FALSE(send(Command('E')));
    EXPECT_NE(sim.openHandle().handle, nullptr);
}

TEST_F(SimulatedDeviceTest, KeepsTheHalvesOfAWrittenBlock) {
    SimulatedDevice::Block expected;
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<std::uint8_t>(i + 1);
    HidReport d = Command('d', 3), D = Command('D', 3);
    std::copy_n(expected.begin(), 48, d.begin() + 3);
    std::copy_n(expected.begin() + 48, 48, D.begin() + 3);
    d[51] = D[51] = 0xEE;  // beyond the half: not stored
    ASSERT_TRUE(send(d));
    ASSERT_TRUE(send(D));
    EXPECT_EQ(receive(), 'd');
    EXPECT_EQ(receive(), 'D');
    EXPECT_EQ(sim.block(3), expected);
    EXPECT_EQ(sim.block(2), SimulatedDevice::Block{});
}

TEST_F(SimulatedDeviceTest, DuplicatesOnlyTheNextAnswer) {
    sim.duplicateNextAnswer();
    for (char command : {'K', 'E'}) ASSERT_TRUE(send(Command(command)));
    EXPECT_EQ(receive(), 'K');
    EXPECT_EQ(receive(), 'K');
    EXPECT_EQ(receive(), 'E');
    EXPECT_EQ(receive(0), 0);
}

// Reading traces back: TraceTest, and every test that compares with a recorded trace.
TEST_F(SimulatedDeviceTest, LogsEveryReportWhole) {
    HidReport second = Command('d', 1);
    second[64] = 0xAB;
    const std::vector<HidReport> sent{Command('S'), second};
    for (const HidReport& r : sent) ASSERT_TRUE(send(r));
    const std::string trace = sim.receivedTrace();
    EXPECT_EQ(trace, "0053" + std::string(126, '0') + "\n006401" + std::string(122, '0') + "AB\n");
}

}  // namespace
}  // namespace qb
