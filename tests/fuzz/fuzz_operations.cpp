// The operations against a hostile device: answers late, dropped, doubled or echoing another request; clicks of
// every button at any moment; unplug and replug; options on and off. Each input is a script of such events, and
// the invariants are checked after every one of them, not only that nothing crashes.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/KeyTable.h"
#include "config/KeypadConfig.h"
#include "device/DeviceIds.h"
#include "device/DeviceLink.h"
#include "device/QueueDispatcher.h"
#include "protocol/Operations.h"
#include "protocol/OperationsUi.h"
#include "simulator/SimulatedDevice.h"
#include "tests/fuzz/FuzzCheck.h"

namespace qb {
namespace {

using namespace std::chrono_literals;

class Script {
public:
    Script(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool more() const { return at_ < size_; }
    std::uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

class Ui : public OperationsUi {
public:
    void showError(const std::u16string& text) override { boxes.push_back(text); }
    void showInformation(const std::u16string& text) override { boxes.push_back(text); }
    void clearLog() override {}
    void addLogLine(const std::u16string&) override {}
    void showKey(int) override {}
    void setTestButtonCaption(const std::u16string&) override {}
    void setBusy(bool value) override { busy = value; }
    void finished(const Outcome& outcome) override {
        outcomes.push_back(outcome);
        if (onFinished) onFinished(outcome);
    }

    bool busy = false;
    std::vector<std::u16string> boxes;
    std::vector<Outcome> outcomes;
    std::function<void(const Outcome&)> onFinished;
};

// The reports of each conversation, as command letters and block numbers.
struct Planned {
    std::uint8_t command;
    int block;  // -1: no block number in the report
};

std::vector<Planned> WritePlan(const OperationOptions& options) {
    std::vector<Planned> plan{{'S', -1}, {'E', -1}};
    for (int n = 0; n < int(kBlockCount); ++n) plan.insert(plan.end(), {{'d', n}, {'D', n}});
    plan.push_back({'Z', -1});
    if (options.verifyWrites)
        for (int n = 0; n < (options.readMessages ? int(kBlockCount) : 1); ++n)
            plan.insert(plan.end(), {{'r', n}, {'R', n}});
    return plan;
}

std::vector<Planned> ReadPlan(bool messages) {
    std::vector<Planned> plan{{'S', -1}};
    for (int n = 0; n < (messages ? int(kBlockCount) : 1); ++n) plan.insert(plan.end(), {{'r', n}, {'R', n}});
    return plan;
}

bool Matches(const HidReport& report, const Planned& planned) {
    return report[1] == planned.command && (planned.block < 0 || report[kBlockNumberByte] == planned.block);
}

// Every conversation (the reports from one identity request to the next) is a prefix of a planned sequence: a
// write's or a read's (with either option), or a keypad test's "S" followed by polls only.
bool ConversationsFollowAPlan(const std::vector<HidReport>& reports) {
    std::vector<std::vector<Planned>> plans;
    for (const bool verify : {false, true})
        for (const bool messages : {false, true}) plans.push_back(WritePlan({messages, verify}));
    plans.push_back(ReadPlan(false));
    plans.push_back(ReadPlan(true));
    std::size_t start = 0;
    while (start < reports.size()) {
        std::size_t end = start + 1;
        while (end < reports.size() && reports[end][1] != 'S') ++end;
        if (reports[start][1] != 'S') return false;
        const bool polls =
            std::all_of(reports.begin() + std::ptrdiff_t(start) + 1, reports.begin() + std::ptrdiff_t(end),
                        [](const HidReport& r) { return r[1] == 'K'; });
        bool planned = polls;
        for (const std::vector<Planned>& plan : plans) {
            if (planned) break;
            if (end - start > plan.size()) continue;
            planned = true;
            for (std::size_t i = start; i < end; ++i) planned = planned && Matches(reports[i], plan[i - start]);
        }
        if (!planned) return false;
        start = end;
    }
    return true;
}

struct Rig {
    Rig() {
        device.useManualClock();
        ApplyDefaults(config);
        ui.onFinished = [this](const Outcome& outcome) { checkOutcome(outcome); };
    }

    // Until every answer whose time has come has been read and handled.
    // An answer a reader had taken when its connection was closed is never handed over: once nothing is ready
    // and nothing is queued for a while, what was delivered but not handled is such an answer, and is counted as
    // lost from then on (otherwise every later tick would wait for it again).
    void settle() {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        int quiet = 0;
        while (!(device.readyAnswers() == 0 && dispatcher.pendingCount() == 0 &&
                 handled() + lost_ == device.counters().answersDelivered)) {
            FUZZ_CHECK(std::chrono::steady_clock::now() < deadline);
            const bool idle = device.readyAnswers() == 0 && dispatcher.pendingCount() == 0;
            dispatcher.runOne(2ms);
            quiet = idle ? quiet + 1 : 0;
            if (quiet >= 25) {
                lost_ = device.counters().answersDelivered - handled();
                return;
            }
        }
    }
    std::size_t handled() const { return handled_; }
    void tick() {
        device.advanceClock(50ms);
        ops.Timer1Timer();
        settle();
    }
    void click(int button) {
        switch (button) {
            case 0: {
                // A write refused at once (an invalid message) ends in its outcome and sends nothing: the write
                // that runs, or will, is still the last one taken.
                const std::size_t before = ui.outcomes.size();
                if (!ops.Write(config)) break;
                ++starts;
                if (ui.outcomes.size() == before || ui.outcomes.back().kind != OutcomeKind::MessageRefused) {
                    writeBefore = lastWrite;
                    lastWrite = config;
                }
                break;
            }
            case 1:
                if (ops.Read()) accepted(OperationKind::Read);
                break;
            default:
                if (ops.testRunning() || ops.testPending())
                    ops.StopKeypadTest();
                else if (ops.StartKeypadTest(config))
                    accepted(OperationKind::KeypadTest);
                break;
        }
        settle();
    }
    void accepted(OperationKind kind) {
        ++starts;
        if (kind == OperationKind::Write) lastWrite = config;
    }

    // A Done outcome comes only after a whole conversation, each answer its own request's.
    void checkOutcome(const Outcome& outcome) {
        // A write that waited and was given up for a later click never ran: the one before it is the last taken
        // (a late answer may still carry it to its end).
        if (outcome.operation == OperationKind::Write && outcome.kind == OutcomeKind::Stopped) lastWrite = writeBefore;
        if (!outcome.ok()) return;
        if (outcome.operation == OperationKind::Write) {
            FUZZ_CHECK(lastWrite.has_value());
            MessageBlock messages{};
            FUZZ_CHECK(TranslateMessages(lastWrite->Messages, messages) < 0);
            const DeviceImage written = WrittenImage(lastWrite->Settings, messages);
            // Where the layout defines the bytes: the rest carries what earlier reports left in the buffer.
            DeviceImage held;
            for (std::size_t n = 0; n < kBlockCount; ++n) held.blocks[n] = device.block(n);
            held.blocksRead = kBlockCount;
            FUZZ_CHECK(CompareImages(written, held).empty());
        }
        if (outcome.operation == OperationKind::Read) {
            FUZZ_CHECK(outcome.read.has_value());
            FUZZ_CHECK(outcome.read->blocksRead >= 1);
            for (std::size_t n = 0; n < outcome.read->blocksRead; ++n)
                FUZZ_CHECK(outcome.read->blocks[n] == device.block(n));
        }
    }

    // After each event. `sentBefore` and `boxesBefore`: the reports sent and the boxes shown before it.
    void checkState(std::size_t sentBefore, std::size_t boxesBefore) {
        FUZZ_CHECK(ui.busy == ops.busy());
        const std::vector<HidReport> reports = device.receivedReports();
        FUZZ_CHECK(ConversationsFollowAPlan(reports));
        // A write's or read's report sent by this event and not yet answered: the buttons are refused, unless the
        // event also ran its allowance out ("Cannot communicate with VELMORA").
        const bool timedOut = std::any_of(ui.boxes.begin() + std::ptrdiff_t(boxesBefore), ui.boxes.end(),
                                          [](const std::u16string& box) { return box == kCannotCommunicateText; });
        if (reports.size() > sentBefore && reports.back()[1] != kCmdKeyPoll && ops.OperationStep != osIdle &&
            ops.OperationStep != osKeyReply && ops.OperationStep != osTestIdentity && !timedOut)
            FUZZ_CHECK(ui.busy);
    }

    SimulatedDevice device;
    QueueDispatcher dispatcher;
    Ui ui;
    DeviceLink link{device, dispatcher};
    DeviceOperations ops{link, ui};
    std::size_t handled_ = 0;
    std::size_t lost_ = 0;  // answers delivered to a reader whose connection closed before handing them over
    KeypadConfig config;
    std::optional<KeypadConfig> lastWrite, writeBefore;
    std::size_t starts = 0;
};

void Run(Script& script) {
    Rig rig;
    // Counts every report handled, whatever the operations make of it.
    rig.link.setReportHandler([&] {
        ++rig.handled_;
        rig.ops.ReportReceived();
    });
    int events = 0;
    while (script.more() && ++events < 400) {
        const std::uint8_t event = script.next();
        const std::size_t sentBefore = rig.device.receivedCount(), boxesBefore = rig.ui.boxes.size();
        switch (event % 14) {
            case 0:
            case 1:
            case 2:
                rig.click(event % 3);
                break;
            case 3:
                for (int i = 1 + script.next() % 30; i > 0; --i) rig.tick();
                break;
            case 4:
                rig.device.setAnswerDelay(std::chrono::milliseconds(20 * script.next()));
                break;
            case 5:
                rig.device.dropNextAnswers(1 + script.next() % 3);
                break;
            case 6:
                rig.device.duplicateNextAnswer();
                break;
            case 7: {
                // An answer echoing a request other than the one awaited (or than none).
                HidReport answer{};
                const std::uint8_t letters[] = {'S', 'E', 'd', 'D', 'Z', 'r', 'R', 'K'};
                std::uint8_t letter = letters[script.next() % 8];
                const HidReport& last = rig.link.OutReport;
                const bool awaited = rig.ops.OperationStep != osIdle;
                if (awaited && letter == last[1]) letter = letter == 'S' ? 'K' : 'S';
                answer[1] = letter;
                for (std::size_t i = 2; i < answer.size(); ++i) answer[i] = script.next();
                rig.device.injectAnswer(answer);
                rig.settle();
                break;
            }
            case 8:
                rig.device.unplug();
                rig.settle();
                break;
            case 9:
                rig.device.replug();
                break;
            case 10:
                rig.ops.options.verifyWrites = !rig.ops.options.verifyWrites;
                break;
            case 11:
                rig.ops.options.readMessages = !rig.ops.options.readMessages;
                break;
            case 12:
                rig.device.setKeyDown(script.next() % 18);
                break;
            case 13: {
                // A message edited: valid text, or an invalid escape.
                const std::size_t slot = script.next() % kSlotCount;
                const char* texts[] = {"x", "\\0D\\0A", "bad\\q", "\\\\"};
                const std::string text = texts[script.next() % 4];
                std::uint8_t* s = Slot(rig.config.Messages, slot);
                std::copy(text.begin(), text.end(), s);
                s[text.size()] = 0;
                break;
            }
        }
        rig.checkState(sentBefore, boxesBefore);
    }
    // The last input: the test stopped, the device back and quick; the timer falls quiet, every start has ended.
    if (rig.ops.testRunning() || rig.ops.testPending()) rig.ops.StopKeypadTest();
    rig.device.replug();
    rig.device.setAnswerDelay(0ms);
    for (int i = 0; i < 400 && rig.ops.needsTicks(); ++i) rig.tick();
    FUZZ_CHECK(!rig.ops.needsTicks());
    FUZZ_CHECK(!rig.ui.busy);
    FUZZ_CHECK(rig.ui.outcomes.size() == rig.starts);
    rig.link.Stop();
}

}  // namespace
}  // namespace qb

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qb::Script script(data, size);
    qb::Run(script);
    return 0;
}
