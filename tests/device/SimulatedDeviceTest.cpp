// The simulated device answers as the real one does; its fault knobs do what they say.
#include "device/SimulatedDevice.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

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
    void SetUp() override { handle = sim.openHandle(); }

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
    std::unique_ptr<HidHandle> handle;
};

TEST_F(SimulatedDeviceTest, EnumeratesWithItsReleaseWhilePluggedIn) {
    auto list = sim.enumerate();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].path, "sim:quillanterbrooke");
    ASSERT_EQ(list[0].hardwareIds.size(), 2u);
    EXPECT_EQ(list[0].hardwareIds[0], "HID\\VID_04D8&PID_FD37&REV_0004");
    EXPECT_EQ(list[0].hardwareIds[1], "HID\\VID_04D8&PID_FD37");

    sim.setRelease(kProgramModeRelease);
    EXPECT_EQ(sim.enumerate()[0].hardwareIds[0], "HID\\VID_04D8&PID_FD37&REV_0001");

    sim.unplug();
    EXPECT_TRUE(sim.enumerate().empty());
    EXPECT_EQ(sim.open("sim:quillanterbrooke"), nullptr);
    sim.replug();
    EXPECT_EQ(sim.enumerate().size(), 1u);
    EXPECT_NE(sim.open("sim:quillanterbrooke"), nullptr);
    EXPECT_EQ(sim.open("sim:elsewhere"), nullptr);
}

TEST_F(SimulatedDeviceTest, IdentityReplyCarriesIdentitySerialAndVersion) {
    sim.setSerial(-2);
    sim.setVersion("V2.5");
    Data a = answer(Command('S'));
    EXPECT_EQ(a[1], 0);  // report byte 2
    EXPECT_EQ(a[2], 1);
    EXPECT_EQ(a[3], 3);
    EXPECT_EQ((std::vector<std::uint8_t>(a.begin() + 5, a.begin() + 9)),
              (std::vector<std::uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(std::string(a.begin() + 9, a.begin() + 13), "V2.5");
    EXPECT_EQ(a[13], 0);

    sim.setIdentity({0, 1, 4});
    sim.setSerial(0x01020304);
    sim.setVersion(std::string(60, 'x'));
    a = answer(Command('S'));
    EXPECT_EQ(a[3], 4);
    EXPECT_EQ(a[5], 0x04);
    EXPECT_EQ(a[8], 0x01);
    for (std::size_t i = 9; i < 64; ++i) EXPECT_EQ(a[i], 'x') << "report byte " << i + 1;
}

TEST_F(SimulatedDeviceTest, KeepsWrittenBlocksAndServesTheirHalves) {
    HidReport d = Command('d', 3), D = Command('D', 3);
    for (std::size_t i = 3; i <= 50; ++i) {
        d[i] = static_cast<std::uint8_t>(i);
        D[i] = static_cast<std::uint8_t>(100 + i);
    }
    d[51] = D[51] = 0xEE;  // beyond the half: not stored
    EXPECT_EQ(answer(d)[0], 'd');
    EXPECT_EQ(answer(D)[0], 'D');
    const auto block = sim.block(3);
    EXPECT_EQ(block[0], 3);
    EXPECT_EQ(block[47], 50);
    EXPECT_EQ(block[48], 103);
    EXPECT_EQ(block[95], 150);
    EXPECT_EQ(sim.block(2), SimulatedDevice::Block{});

    Data r = answer(Command('r', 3));
    Data R = answer(Command('R', 3));
    for (std::size_t i = 0; i < 48; ++i) {
        EXPECT_EQ(r[1 + i], block[i]) << "report byte " << i + 2;
        EXPECT_EQ(R[1 + i], block[48 + i]) << "report byte " << i + 2;
    }
    EXPECT_EQ(r[49], 0) << "nothing after report byte 49";

    // Block 0's second half is stored from bytes 3..50 like every other.
    HidReport settingsTail = Command('D', 0);
    std::fill(settingsTail.begin() + 3, settingsTail.end(), 0xFF);
    answer(settingsTail);
    EXPECT_EQ(sim.block(0)[48], 0xFF);
    EXPECT_EQ(sim.block(0)[95], 0xFF);
    EXPECT_EQ(sim.block(0)[0], 0);

    // A block number past the image is acknowledged and stores nothing.
    answer(Command('d', 17));
    Data none = answer(Command('r', 17));
    for (std::size_t i = 1; i <= 48; ++i) EXPECT_EQ(none[i], 0);
}

TEST_F(SimulatedDeviceTest, KeyReplyAndAcknowledgementsOneAnswerEach) {
    sim.setKeyDown(6);
    EXPECT_EQ(answer(Command('K'))[1], 6);
    sim.setKeyDown(0);
    EXPECT_EQ(answer(Command('K'))[1], 0);
    EXPECT_EQ(answer(Command('E'))[0], 'E');
    EXPECT_EQ(answer(Command('Z'))[0], 'Z');
    EXPECT_TRUE(nothingWaiting());
    EXPECT_EQ(sim.counters().answersDelivered, 4u);
}

TEST_F(SimulatedDeviceTest, EveryOpenHandleSeesTheAnswer) {
    auto reader = sim.openHandle();
    ASSERT_TRUE(send(Command('E')));
    Data data{};
    EXPECT_EQ(reader->read(data.data(), data.size(), 2000), 64);
    EXPECT_EQ(data[0], 'E');
}

TEST_F(SimulatedDeviceTest, AnswersComeAfterTheDelay) {
    sim.setAnswerDelay(80ms);
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(send(Command('E')));
    EXPECT_TRUE(nothingWaiting());
    Data data{};
    ASSERT_EQ(receive(data, 5000), 64);
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 80ms);
    // A stray answer is readable at once, ahead of one still delayed.
    ASSERT_TRUE(send(Command('Z')));
    HidReport stray{};
    stray[1] = 'X';
    sim.injectAnswer(stray);
    ASSERT_EQ(receive(data, 0), 64);
    EXPECT_EQ(data[0], 'X');
    ASSERT_EQ(receive(data, 5000), 64);
    EXPECT_EQ(data[0], 'Z');
}

TEST_F(SimulatedDeviceTest, DropAndDuplicateAnswers) {
    sim.dropNextAnswers(2);
    ASSERT_TRUE(send(Command('E')));
    ASSERT_TRUE(send(Command('d', 1)));
    EXPECT_TRUE(nothingWaiting());
    EXPECT_EQ(answer(Command('Z'))[0], 'Z');
    EXPECT_EQ(sim.counters().answersDropped, 2u);
    EXPECT_EQ(sim.receivedCount(), 3u) << "dropped answers still mean received reports";

    sim.duplicateNextAnswer();
    EXPECT_EQ(answer(Command('K'))[0], 'K');
    Data again{};
    ASSERT_EQ(receive(again, 0), 64);
    EXPECT_EQ(again[0], 'K');
    EXPECT_EQ(answer(Command('E'))[0], 'E');
    EXPECT_TRUE(nothingWaiting()) << "only the next answer is doubled";
}

TEST_F(SimulatedDeviceTest, UnplugKillsEveryHandleForGood) {
    ASSERT_TRUE(send(Command('E')));  // an answer waiting is lost with the device
    sim.unplug();
    Data data{};
    EXPECT_EQ(receive(data, 1000), -1);
    EXPECT_FALSE(send(Command('E')));
    EXPECT_EQ(sim.openHandle(), nullptr);

    sim.replug();
    auto fresh = sim.openHandle();
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(receive(data, 0), -1) << "a handle from before the unplug stays dead";
    EXPECT_FALSE(send(Command('E')));
    ASSERT_TRUE(fresh->write(Command('E').data(), kReportSize));
    EXPECT_EQ(fresh->read(data.data(), data.size(), 2000), 64);
    EXPECT_EQ(sim.counters().failedWrites, 2u);
}

TEST_F(SimulatedDeviceTest, AReaderBlockedInReadLearnsOfTheUnplug) {
    Data data{};
    int result = 0;
    std::thread reader([&] { result = receive(data, 10000); });
    // The reader is waiting (or about to); the unplug must wake it rather than let it sit out its time-out.
    const auto start = std::chrono::steady_clock::now();
    sim.unplug();
    reader.join();
    EXPECT_EQ(result, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(SimulatedDeviceTest, RefusedOpensAndHandleCounts) {
    sim.setRefuseOpens(true);
    EXPECT_EQ(sim.openHandle(), nullptr);
    EXPECT_EQ(sim.counters().refusedOpens, 1u);
    sim.setRefuseOpens(false);
    auto second = sim.openHandle();
    EXPECT_EQ(sim.counters().openHandles, 2u);
    second.reset();
    EXPECT_EQ(sim.counters().openHandles, 1u);
    EXPECT_EQ(sim.counters().closedHandles, 1u);
}

TEST_F(SimulatedDeviceTest, LogsEveryReportWholeAndWritesItAsATrace) {
    HidReport first = Command('S');
    HidReport second = Command('d', 1);
    second[64] = 0xAB;
    ASSERT_TRUE(send(first));
    ASSERT_TRUE(handle->write(second.data(), 3)) << "a short write arrives zero-padded";
    const auto log = sim.receivedReports();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], first);
    EXPECT_EQ(log[1][2], 1);
    EXPECT_EQ(log[1][64], 0);
    EXPECT_FALSE(handle->write(second.data(), 0));

    const std::string trace = sim.receivedTrace();
    EXPECT_EQ(trace.substr(0, 131), "0053" + std::string(126, '0') + "\n");
    std::vector<HidReport> parsed;
    ASSERT_TRUE(SimulatedDevice::ParseTrace("# comment\n\n" + trace, parsed));
    EXPECT_EQ(parsed, log);
    EXPECT_EQ(SimulatedDevice::FormatReport(second).substr(124), "0000AB");

    EXPECT_FALSE(SimulatedDevice::ParseTrace("0053\n", parsed)) << "short line";
    EXPECT_FALSE(SimulatedDevice::ParseTrace(trace.substr(0, 128) + "zz\n", parsed)) << "not hex";
    EXPECT_FALSE(SimulatedDevice::ParseTrace(trace.substr(0, 130) + "00\n", parsed)) << "long line";
    std::string spaced;
    for (std::size_t i = 0; i < 130; i += 2) spaced += trace.substr(i, 2) + " ";
    ASSERT_TRUE(SimulatedDevice::ParseTrace(spaced, parsed));
    EXPECT_EQ(parsed[0], first);

    sim.clearReceived();
    EXPECT_EQ(sim.receivedCount(), 0u);
}

TEST_F(SimulatedDeviceTest, ReadsARecordedTraceFile) {
    std::ifstream file(QB_TRACE_DIR "/default-write.txt");
    if (!file) GTEST_SKIP() << "no recorded write trace";
    std::stringstream text;
    text << file.rdbuf();
    std::vector<HidReport> reports;
    ASSERT_TRUE(SimulatedDevice::ParseTrace(text.str(), reports));
    ASSERT_EQ(reports.size(), 37u);
    EXPECT_EQ(reports.front()[1], 'S');
    EXPECT_EQ(reports.back()[1], 'Z');
}

TEST(SimulatedBus, ListsEntriesWithTheirOwnIdsAndOpensThroughTheirDevice) {
    SimulatedDevice device("unused"), gone("gone");
    gone.unplug();
    SimulatedBus bus;
    bus.add({{"HID\\VID_1111&PID_2222&REV_0003", "second"}, "bus:a", nullptr});
    bus.add({{}, "bus:b", &device});
    bus.add({{}, "bus:c", &gone});
    const auto list = bus.enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].hardwareIds[1], "second");
    EXPECT_EQ(list[1].hardwareIds[0], "HID\\VID_04D8&PID_FD37&REV_0004");
    EXPECT_EQ(bus.open("bus:a"), nullptr);
    EXPECT_NE(bus.open("bus:b"), nullptr);
    EXPECT_EQ(bus.open("bus:x"), nullptr);
    EXPECT_EQ(bus.openCount("bus:a"), 1);
    EXPECT_EQ(bus.enumerateCount(), 1);
}

}  // namespace
}  // namespace qb
