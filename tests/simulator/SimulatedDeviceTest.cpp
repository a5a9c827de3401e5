// What of the simulated device the link, operation and front-end tests do not already rely on: how it keeps
// written blocks and logs what it receives is checked by every write (OperationsTest, CliTest).
#include "simulator/SimulatedDevice.h"

#include <gtest/gtest.h>

namespace qb {
namespace {

// The device re-enumerating (gone and back at once) leaves the handles from before dead.
TEST(SimulatedDevice, DuplicatesOnlyTheNextAnswerAndHandlesFromBeforeAnUnplugStayDead) {
    SimulatedDevice sim;
    const std::unique_ptr<HidHandle> handle = sim.openHandle().handle;
    const auto send = [&](char command) {
        HidReport r{};
        r[1] = static_cast<std::uint8_t>(command);
        return handle->write(r.data(), r.size());
    };
    // The first byte of the next answer, or -1 / 0 as read() says.
    const auto receive = [&](int timeoutMs) {
        std::uint8_t data[64];
        const int n = handle->read(data, sizeof data, timeoutMs);
        return n == 64 ? data[0] : n;
    };
    sim.duplicateNextAnswer();
    for (char command : {'K', 'E'}) ASSERT_TRUE(send(command));
    EXPECT_EQ(receive(2000), 'K');
    EXPECT_EQ(receive(2000), 'K');
    EXPECT_EQ(receive(2000), 'E');
    EXPECT_EQ(receive(0), 0);

    sim.unplug();
    sim.replug();
    EXPECT_EQ(receive(0), -1);
    EXPECT_FALSE(send('E'));
    EXPECT_NE(sim.openHandle().handle, nullptr);
}

}  // namespace
}  // namespace qb
