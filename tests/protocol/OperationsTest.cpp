// The write, read and keypad test against the simulated device, through the real reader thread and hand-off.
// The test thread is the window's thread: it pumps the dispatcher and drives the 50 ms timer by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>

#include "config/ConfigTransfer.h"
#include "config/KeyTable.h"
#include "config/KeypadConfig.h"
#include "config/MemoryConfigView.h"
#include "config/Text.h"
#include "device/DeviceLink.h"
#include "device/QueueDispatcher.h"
#include "device/Trace.h"
#include "protocol/Operations.h"
#include "protocol/Reports.h"
#include "simulator/SimulatedDevice.h"
#include "tests/support/FakeOperationsUi.h"

namespace qb {
namespace {

using namespace std::chrono_literals;
using test::FakeOperationsUi;

constexpr auto kWait = 5s;  // reached only when something is broken

// The test thread is the window's thread. The device's answers run on its manual clock: time passes only in
// elapse(), one 50 ms tick at a time, so nothing depends on how fast this machine is.
struct Rig {
    Rig() {
        bus.add({{}, device.path(), &device});
        device.useManualClock();
        store.SetDefaultConfig(view);
        link.setReportHandler([this] {
            ++handled;
            ops.ReportReceived();
        });
    }

    // The window's three buttons: a write and a test hand over the window packed into the record.
    void write() {
        PackConfig(view, store.Config);
        ops.Write(store.Config);
    }
    void read() { ops.Read(); }
    void testButton() {
        if (ops.testRunning() || ops.testPending()) return ops.StopKeypadTest();
        PackConfig(view, store.Config);
        ops.StartKeypadTest(store.Config);
    }

    // Runs window-thread work until `done` holds; false on time-out (only when something is broken).
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kWait) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            dispatcher.runOne(5ms);
        }
        return true;
    }
    // Until every answer whose time has come has been read and handled.
    bool settle() {
        return pumpUntil([&] {
            return device.readyAnswers() == 0 && dispatcher.pendingCount() == 0 &&
                   handled == device.counters().answersDelivered;
        });
    }
    // `ticks` times: 50 ms pass for the device, the timer ticks, what has arrived is handled.
    void elapse(int ticks) {
        for (int i = 0; i < ticks; ++i) {
            device.advanceClock(50ms);
            ops.Timer1Timer();
            ASSERT_TRUE(settle());
        }
    }
    bool idle() const { return ops.OperationStep == osIdle; }
    std::size_t sent() const { return device.receivedCount(); }
    std::vector<std::uint8_t> commands() const {
        std::vector<std::uint8_t> result;
        for (const HidReport& r : device.receivedReports()) result.push_back(r[1]);
        return result;
    }

    SimulatedDevice device;
    SimulatedBus bus;
    QueueDispatcher dispatcher;
    ConfigStore store;
    MemoryConfigView view;
    FakeOperationsUi ui;
    DeviceLink link{bus, dispatcher};
    DeviceOperations ops{link, ui};
    std::size_t handled = 0;
};

std::string Trace(const std::vector<HidReport>& reports) {
    std::string text;
    for (const HidReport& r : reports) text += FormatReport(r) + "\n";
    return text;
}

std::vector<HidReport> LoadTrace(const std::string& name) {
    std::ifstream in(std::string(QB_TRACE_DIR) + "/" + name);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<HidReport> reports;
    EXPECT_TRUE(ParseTrace(text.str(), reports)) << name;
    return reports;
}

TEST(WriteOperation, DefaultConfigurationGoesOutAsTheRecordedThirtySevenReports) {
    Rig rig;
    rig.write();
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.ui.informations, std::vector<std::u16string>{kDownloadCompleteText});
    EXPECT_TRUE(rig.idle());

    // Byte for byte as recorded: the trace holds the 37 reports with every leftover byte.
    const std::vector<HidReport> expected = LoadTrace("default-write.txt");
    ASSERT_EQ(expected.size(), 37u);
    EXPECT_EQ(rig.device.receivedTrace(), Trace(expected));
}

// Verified, a write ends in one box that says both; the outcome says verified.
TEST(WriteOperation, AVerifiedWriteEndsInOneBox) {
    Rig rig;
    rig.ops.options.verifyWrites = true;
    rig.write();
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.ui.informations, std::vector<std::u16string>{kDownloadVerifiedText});
    ASSERT_EQ(rig.ui.outcomes.size(), 1u);
    EXPECT_TRUE(rig.ui.outcomes[0].verified);
    EXPECT_EQ(rig.sent(), 39u);
}

TEST(WriteOperation, BadEscapeStopsBeforeAnySearch) {
    Rig rig;
    rig.view.messages[kKeys[4].legendIndex] = u"ab\\0";  // key 4: a backslash and one digit
    rig.write();
    ASSERT_EQ(rig.ui.errors.size(), 1u);
    EXPECT_EQ(rig.ui.errors[0], u"Error on Message:\rab\\0");
    EXPECT_EQ(rig.bus.enumerateCount(), 0);
    EXPECT_TRUE(rig.idle());

    rig.testButton();
    EXPECT_EQ(rig.ui.errors.size(), 2u);
    EXPECT_EQ(rig.ui.caption, kTestKeypadCaption);
    EXPECT_EQ(rig.bus.enumerateCount(), 0);
}

// A half answered late: the time-out is told once, the late answer carries the write on under a whole allowance
// for every report again (busy, buttons refused), and what is written is what the write set out with, whatever
// is clicked meanwhile.
TEST(WriteOperation, ALateHalfResumesTheWriteBusyAndAClickMeanwhileChangesNothing) {
    Rig rig;
    rig.device.setAnswerDelay(1ms);
    rig.write();
    while (rig.sent() < 8) {  // up to block 2's second half
        rig.device.advanceClock(1ms);
        ASSERT_TRUE(rig.settle());
    }
    rig.device.setAnswerDelay(1500ms);  // block 3's first half is slow
    rig.device.advanceClock(1ms);
    ASSERT_TRUE(rig.settle());
    ASSERT_EQ(rig.ops.OperationStep, osMessageFirstAck);
    rig.elapse(kReplyTimeoutTicks);
    EXPECT_EQ(rig.ui.errors, std::vector<std::u16string>{kCannotCommunicateText});
    EXPECT_FALSE(rig.ops.busy());
    rig.device.setAnswerDelay(200ms);
    rig.elapse(10);  // the late answer has come: the next half is out under a whole allowance
    ASSERT_EQ(rig.ops.OperationStep, osSecondHalfAck);
    EXPECT_TRUE(rig.ops.busy());
    EXPECT_TRUE(rig.ui.busy);
    EXPECT_EQ(rig.ops.ReplyTicks, kReplyTimeoutTicks);

    rig.view.messages[kKeys[6].legendIndex] = u"hello\\q";  // refused, and in any case not this write's
    rig.view.messages[kKeys[7].legendIndex] = u"other";
    rig.testButton();
    rig.write();
    EXPECT_EQ(rig.ui.caption, kTestKeypadCaption);
    rig.elapse(200);
    EXPECT_EQ(rig.ui.informations, std::vector<std::u16string>{kDownloadCompleteText});
    EXPECT_EQ(rig.sent(), 37u);
    const SimulatedDevice::Block key7 = rig.device.block(std::size_t(kKeys[7].slot) + 1);
    EXPECT_EQ(std::string(key7.begin(), key7.begin() + 2), std::string(1, kKeys[7].legend) + '\0');
    ASSERT_EQ(rig.ui.outcomes.size(), 1u);
    EXPECT_TRUE(rig.ui.outcomes[0].ok());
}

// An answer that echoes another request is never taken for the one awaited, however late it comes: a key poll's
// answer for a read's identity, an identity answer for a block half.
TEST(LateAnswer, AnAnswerToAnotherRequestIsDropped) {
    Rig rig;
    rig.testButton();
    ASSERT_TRUE(rig.settle());
    rig.device.setAnswerDelay(1500ms);
    rig.elapse(kKeyPollAfterReplyTicks);  // a poll goes out; its answer comes 1.5 s later
    ASSERT_EQ(rig.commands().back(), 'K');
    rig.elapse(24);  // 1.2 s after the poll: no longer awaited
    rig.testButton();
    rig.device.setAnswerDelay(0ms);
    rig.read();
    rig.elapse(40);
    EXPECT_TRUE(rig.ui.errors.empty()) << ToUtf8(rig.ui.errors.front());
    EXPECT_EQ(rig.ui.informations, std::vector<std::u16string>{kReadCompleteText});

    HidReport identity{};  // an identity answer arriving while block 0's first half is awaited
    identity[1] = 'S';
    identity[3] = 1;
    identity[4] = 3;
    rig.device.setAnswerDelay(100ms);
    rig.read();
    rig.elapse(2);  // the identity is answered, "r" is out
    ASSERT_EQ(rig.ops.OperationStep, osReadFirstHalf);
    rig.device.injectAnswer(identity);
    rig.elapse(10);
    ASSERT_EQ(rig.ui.outcomes.back().operation, OperationKind::Read);
    ASSERT_TRUE(rig.ui.outcomes.back().read);
    EXPECT_EQ(rig.ui.outcomes.back().read->blocks[0], rig.device.block(0)) << "another answer was taken for block 0";
}

TEST(ReplySupervision, ButtonsAreRefusedWhileAnAnswerIsAwaitedAndFreeAgainAfterATimeOut) {
    Rig rig;
    rig.device.dropNextAnswers(1);
    rig.write();
    EXPECT_TRUE(rig.ops.busy());
    EXPECT_TRUE(rig.ui.busy);
    rig.read();
    rig.write();
    rig.testButton();
    EXPECT_EQ(rig.commands(), std::vector<std::uint8_t>{'S'});
    EXPECT_EQ(rig.ui.caption, kTestKeypadCaption);
    EXPECT_EQ(rig.ops.OperationStep, osWriteIdentity);

    // One "Cannot communicate with VELMORA", 20 ticks after the silent "S"; the step stays.
    rig.elapse(kReplyTimeoutTicks - 1);
    EXPECT_TRUE(rig.ui.errors.empty());
    rig.elapse(1);
    EXPECT_EQ(rig.ui.errors, std::vector<std::u16string>{kCannotCommunicateText});
    EXPECT_EQ(rig.ops.OperationStep, osWriteIdentity);
    rig.elapse(100);
    EXPECT_EQ(rig.ui.errors.size(), 1u);
    EXPECT_FALSE(rig.ui.busy);
    rig.read();
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.ui.informations, std::vector<std::u16string>{kReadCompleteText});
}

TEST(ReplySupervision, StrayAnswerWhileIdleChangesNothing) {
    Rig rig;
    rig.read();
    ASSERT_TRUE(rig.settle());
    const std::vector<std::u16string> log = rig.ui.log;
    const std::size_t sent = rig.sent();
    const SettingsBlock settings = rig.store.Config.Settings;

    HidReport stray{};  // even an acceptable identity reply
    stray[3] = 1;
    stray[4] = 3;
    rig.device.injectAnswer(stray);
    rig.elapse(30);
    EXPECT_EQ(rig.handled, 4u);
    EXPECT_TRUE(rig.idle());
    EXPECT_EQ(rig.sent(), sent);
    EXPECT_EQ(rig.ui.log, log);
    EXPECT_EQ(rig.ui.informations.size(), 1u);
    EXPECT_TRUE(rig.ui.errors.empty());
    EXPECT_EQ(rig.store.Config.Settings, settings);
}

// The device answers every 600 ms: each half of the read has a whole allowance of its own. What it holds is the
// outcome's, whatever it is (the window takes it into the record only: ReadBackTest).
TEST(ReadOperation, BringsTheSettingsBlockWhateverItHolds) {
    for (const bool garbage : {false, true}) {
        Rig rig;
        rig.device.setAnswerDelay(600ms);
        SimulatedDevice::Block block{};
        for (std::size_t i = 0; i < 48; ++i) block[i] = static_cast<std::uint8_t>(i == 0 ? 0x55 : i);
        for (std::size_t i = 48; i < block.size(); ++i) block[i] = 0xFF;
        if (garbage) block.fill(0xA5);  // no marker: the tool examines nothing
        rig.device.setBlock(0, block);

        rig.read();
        rig.elapse(3 * 12);
        EXPECT_EQ(rig.ui.informations, std::vector<std::u16string>{kReadCompleteText});
        EXPECT_TRUE(rig.ui.errors.empty());
        ASSERT_EQ(rig.ui.outcomes.size(), 1u);
        ASSERT_TRUE(rig.ui.outcomes[0].read);
        EXPECT_EQ(rig.ui.outcomes[0].read->blocks[0], block);
        EXPECT_EQ(rig.ops.ReadBackImage, block);
        EXPECT_EQ(rig.commands(), (std::vector<std::uint8_t>{'S', 'r', 'R'}));
        EXPECT_EQ(rig.device.receivedReports()[1][2], 0);
        EXPECT_EQ(rig.device.receivedReports()[2][2], 0);
        EXPECT_TRUE(rig.idle());
    }
}

TEST(KeypadTest, LightsTheKeyByPositionAndNothingForOtherNumbers) {
    Rig rig;
    rig.view.legends[kKeys[5].legendIndex] = u"x";  // legends do not matter, positions do
    rig.device.setKeyDown(6);                       // column 2, row 2: the "5" key
    rig.testButton();
    EXPECT_EQ(rig.ui.caption, kStopTestCaption);
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.ui.showKeyCalls, 1);
    EXPECT_EQ(rig.ui.litKey, 5);
    EXPECT_EQ(rig.commands(), (std::vector<std::uint8_t>{'S', 'K'}));

    for (int number : {0, 17, 255, 16}) {
        rig.device.setKeyDown(number);
        const int calls = rig.ui.showKeyCalls;
        rig.elapse(kKeyPollAfterReplyTicks - 1);
        EXPECT_EQ(rig.ui.showKeyCalls, calls) << "polled too early";
        rig.elapse(1);
        EXPECT_EQ(rig.ui.showKeyCalls, calls + 1);
        EXPECT_EQ(rig.ui.litKey, number == 16 ? 15 : -1) << number;
    }
    EXPECT_TRUE(rig.ui.errors.empty());
}

TEST(KeypadTest, StopSendsNothingAndEndsThePollingForGood) {
    Rig rig;
    rig.device.setKeyDown(1);
    rig.testButton();
    ASSERT_TRUE(rig.settle());

    // A poll is out when the user stops; its late answer must not light a key or restart the polling.
    rig.device.setAnswerDelay(100ms);
    rig.elapse(kKeyPollAfterReplyTicks);
    ASSERT_EQ(rig.commands().back(), 'K');
    const std::size_t sent = rig.sent();
    rig.testButton();
    EXPECT_EQ(rig.ui.caption, kTestKeypadCaption);
    rig.elapse(200);
    EXPECT_EQ(rig.handled, 3u);  // the late answer did arrive
    EXPECT_EQ(rig.sent(), sent);
    EXPECT_EQ(rig.ui.showKeyCalls, 1);
    EXPECT_TRUE(rig.idle());
}

TEST(KeypadTest, RejectedIdentityLeavesTheTestHaltedWithoutPolls) {
    Rig rig;
    rig.device.setIdentity({0, 1, 4});
    rig.testButton();
    ASSERT_TRUE(rig.settle());
    EXPECT_EQ(rig.ui.errors, std::vector<std::u16string>{kNotQuillanterbrookeText});
    EXPECT_EQ(rig.ui.caption, kStopTestCaption);
    rig.elapse(100);
    EXPECT_EQ(rig.ui.errors.size(), 1u) << "no time-out after the refusal";
    EXPECT_EQ(rig.commands(), std::vector<std::uint8_t>{'S'});
    // One click only returns the caption; the second starts a new test.
    rig.testButton();
    EXPECT_EQ(rig.ui.caption, kTestKeypadCaption);
    EXPECT_EQ(rig.sent(), 1u);
}

TEST(OverlappingOperations, WriteStopsTheTestAndNoPollCutsIn) {
    Rig rig;
    rig.device.setKeyDown(3);
    rig.testButton();
    ASSERT_TRUE(rig.settle());
    rig.device.clearReceived();

    rig.device.setAnswerDelay(20ms);
    rig.write();
    EXPECT_EQ(rig.ui.caption, kTestKeypadCaption);
    rig.elapse(60);  // the test's poll countdown would have fired many times
    const std::vector<std::uint8_t> cmds = rig.commands();
    EXPECT_EQ(cmds.size(), 37u);
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), 'K'), 0);
    EXPECT_EQ(rig.ui.informations, std::vector<std::u16string>{kDownloadCompleteText});
}

TEST(OverlappingOperations, WriteWaitsForAPollAnswerOnItsWay) {
    Rig rig;
    rig.testButton();
    ASSERT_TRUE(rig.settle());
    rig.device.setAnswerDelay(50ms);
    rig.device.advanceClock(250ms);
    rig.elapse(kKeyPollAfterReplyTicks - 1);
    rig.ops.Timer1Timer();  // the next poll goes out; its answer comes 50 ms later
    ASSERT_EQ(rig.commands().back(), 'K');
    rig.device.clearReceived();

    rig.write();  // the poll's answer is still on its way
    EXPECT_EQ(rig.sent(), 0u);
    EXPECT_EQ(rig.ui.caption, kTestKeypadCaption);
    rig.device.setAnswerDelay(0ms);
    rig.elapse(1);
    EXPECT_EQ(rig.ui.informations, std::vector<std::u16string>{kDownloadCompleteText});
    EXPECT_TRUE(rig.ui.errors.empty());  // the poll's answer was not taken for the identity reply
    EXPECT_EQ(rig.sent(), 37u);
}

// Unplugging at any point of a write, a read or a keypad test (also between its polls) ends it at once, and the
// next operation reconnects.
TEST(Unplug, AtEveryStepEndsTheOperationAtOnce) {
    const struct {
        const char* what;
        void (Rig::*start)();
        std::size_t answers;  // unplugged after each count of answers below this
    } operations[] = {{"write", &Rig::write, 37}, {"read", &Rig::read, 3}, {"keypad test", &Rig::testButton, 3}};
    for (const auto& operation : operations) {
        for (std::size_t answered = 0; answered < operation.answers; ++answered) {
            SCOPED_TRACE(std::string(operation.what) + " after " + std::to_string(answered) + " answers");
            Rig rig;
            rig.device.setAnswerDelay(1ms);
            (rig.*operation.start)();
            while (rig.handled < answered) {
                rig.device.advanceClock(1ms);
                ASSERT_TRUE(rig.settle());
            }
            rig.device.unplug();
            ASSERT_TRUE(rig.pumpUntil([&] { return !rig.ui.errors.empty(); }));
            EXPECT_EQ(rig.ui.errors, std::vector<std::u16string>{kDisconnectedText});
            EXPECT_FALSE(rig.ui.busy);
            EXPECT_EQ(rig.ui.caption, kTestKeypadCaption);
            rig.elapse(kReplyTimeoutTicks);
            EXPECT_EQ(rig.ui.errors.size(), 1u) << "no time-out after the disconnection";
            EXPECT_TRUE(rig.ui.informations.empty());
            EXPECT_TRUE(rig.idle()) << "no poll after the disconnection";

            rig.device.replug();
            rig.device.setAnswerDelay(0ms);
            rig.device.clearReceived();
            rig.read();
            ASSERT_TRUE(rig.settle());
            EXPECT_EQ(rig.ui.informations, std::vector<std::u16string>{kReadCompleteText});
            EXPECT_EQ(rig.commands(), (std::vector<std::uint8_t>{'S', 'r', 'R'}));
        }
    }
}

// Nothing is sent to a device in program mode or one this user may not open. The firmware loader does not speak
// the encoder's protocol: it is closed again, so every click says so.
TEST(ConnectDevice, ProgramModeIsToldEveryTimeAndADeviceThisUserMayNotOpenIsNamedWithTheFix) {
    Rig rig;
    rig.device.setRelease(kProgramModeRelease);
    rig.write();
    EXPECT_FALSE(rig.link.deviceOpen());
    rig.read();
    EXPECT_EQ(rig.ui.errors, (std::vector<std::u16string>{kProgramModeText, kProgramModeText}));

    rig.device.setRelease(kApplicationRelease);
    rig.device.setRefuseOpens(true, OpenFailure::AccessDenied);
    rig.read();
    ASSERT_EQ(rig.ui.errors.size(), 3u);
    const std::u16string text = rig.ui.errors[2];
    EXPECT_EQ(text.substr(0, 21), u"Cannot find VELMORA\r\n");
    EXPECT_NE(text.find(u"attached at sim:quillanterbrooke, but this user may not open it."), std::u16string::npos);
#if defined(__linux__)  // the fix there is the udev rule; elsewhere another program holds the device
    EXPECT_NE(text.find(u"70-quillanterbrooke.rules"), std::u16string::npos);
#else
    EXPECT_NE(text.find(u"Another program may be using it"), std::u16string::npos);
#endif
    rig.device.setRefuseOpens(true, OpenFailure::Other);  // held elsewhere: nothing this user can change
    rig.read();
    EXPECT_EQ(rig.ui.errors.back(), kCannotFindText);
    EXPECT_EQ(rig.sent(), 0u);
}

// After a time-out the answer may still come. A new operation waits for it (or one more allowance) and drops
// it, so it is never taken for the new operation's first answer.
TEST(LateAnswer, IsNeverTakenForTheNextOperationsFirstAnswer) {
    for (const bool arrives : {true, false}) {
        SCOPED_TRACE(arrives ? "the late answer arrives" : "it never does");
        Rig rig;
        rig.device.setAnswerDelay(1500ms);
        if (!arrives) rig.device.dropNextAnswers(1);
        rig.write();
        rig.elapse(kReplyTimeoutTicks + 2);
        ASSERT_EQ(rig.ui.errors, std::vector<std::u16string>{kCannotCommunicateText});
        rig.device.setAnswerDelay(0ms);
        rig.read();
        EXPECT_EQ(rig.sent(), 1u) << "the read waits";
        rig.elapse(kReplyTimeoutTicks);
        EXPECT_EQ(rig.ui.informations, std::vector<std::u16string>{kReadCompleteText});
        EXPECT_EQ(rig.ui.errors.size(), 1u);
        EXPECT_EQ(rig.commands(), (std::vector<std::uint8_t>{'S', 'S', 'r', 'R'})) << "the write went no further";
        EXPECT_EQ(rig.device.counters().opens, arrives ? 2u : 4u) << "reopened only when the answer stayed away";
    }
}

// A device that answers 2.5 s late: the read times out, and a read clicked 2.1 s after the first (past the late
// answer's own allowance) runs on a new connection, so the first read's identity answer never stands for the
// second's, nor for its block.
TEST(LateAnswer, AClickAfterTheLateAllowanceOpensANewConnection) {
    Rig rig;
    rig.device.setAnswerDelay(2500ms);
    rig.read();
    rig.elapse(42);
    ASSERT_EQ(rig.ui.errors.size(), 1u);
    ASSERT_EQ(rig.ui.outcomes.size(), 1u);
    EXPECT_EQ(rig.ui.outcomes[0].kind, OutcomeKind::NoAnswer);
    const std::size_t opens = rig.device.counters().opens;
    rig.read();
    EXPECT_EQ(rig.device.counters().opens, opens + 2);
    rig.elapse(100);
    EXPECT_TRUE(rig.ui.informations.empty());
    for (const Outcome& outcome : rig.ui.outcomes) EXPECT_EQ(outcome.kind, OutcomeKind::NoAnswer);
    EXPECT_EQ(rig.ui.outcomes.size(), 2u);
}

}  // namespace
}  // namespace qb
