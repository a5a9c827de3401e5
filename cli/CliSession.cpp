#include "cli/CliSession.h"

#include <ostream>
#include <string>

#include "config/Text.h"

namespace qb {

namespace {

constexpr std::chrono::milliseconds kTick{50};
// A backstop only: every operation ends by itself, a silent device by the reply time-out. Counted in wall-clock time,
// it must outlast a process paused for a while.
constexpr std::chrono::hours kOperationLimit{1};
constexpr int kBarWidth = 30;

}  // namespace

void ProgressBar::show(const Progress& progress) {
    if (!terminal_) return;
    if (progress.planned <= 0) {
        clear();
        return;
    }
    const int filled = kBarWidth * progress.done / progress.planned;
    *terminal_ << "\r[" << std::string(std::size_t(filled), '#') << std::string(std::size_t(kBarWidth - filled), ' ')
               << "] " << progress.done << '/' << progress.planned << std::flush;
    drawn_ = true;
}

void ProgressBar::clear() {
    if (!terminal_ || !drawn_) return;
    *terminal_ << "\r\x1b[K" << std::flush;
    drawn_ = false;
}

CliSession::CliSession(Transport& transport, const std::string& device, std::ostream* terminal)
    : link(transport, dispatcher), ops(link, *this), bar_(terminal) {
    if (!device.empty()) link.setSelector(DeviceSelector{device});
}

CliSession::~CliSession() {
    bar_.clear();
    link.Stop();
}

void CliSession::showKey(int legendIndex) {
    if (legendIndex == lit_) return;
    lit_ = legendIndex;
    if (onKey) onKey(legendIndex);
}

Outcome CliSession::waitForOutcome() {
    // A write or read runs to its end, a fraction of a second, whatever signal comes; only `cutShort` ends it early.
    Progress reached;
    run([&] { return outcome_.has_value() || (cutShort && cutShort()); }, kOperationLimit);
    bar_.clear();
    if (outcome_) return *outcome_;
    if (cutShort && cutShort()) {
        reached = ops.progress();
        link.Stop();
        Outcome cut;
        cut.kind = OutcomeKind::Stopped;
        cut.text =
            FromUtf8("Cut short after " + std::to_string(reached.done) + " of " + std::to_string(reached.planned) +
                     " reports: a write cut short may have left the device holding part of the new "
                     "configuration; write it again.");
        return cut;
    }
    Outcome silent;  // only a device that keeps the operation going without end gets here
    silent.kind = OutcomeKind::NoAnswer;
    silent.text = kCannotCommunicateText;
    return silent;
}

Outcome CliSession::write(const KeypadConfig& config, OperationOptions options) {
    outcome_.reset();
    ops.options = options;
    ops.Write(config);
    Outcome outcome = waitForOutcome();
    outcome.operation = OperationKind::Write;
    return outcome;
}

Outcome CliSession::read(OperationOptions options) {
    outcome_.reset();
    ops.options = options;
    ops.Read();
    Outcome outcome = waitForOutcome();
    outcome.operation = OperationKind::Read;
    return outcome;
}

Outcome CliSession::keypadTest(const KeypadConfig& config, std::chrono::milliseconds duration,
                               const std::function<bool()>& stop) {
    outcome_.reset();
    ops.StartKeypadTest(config);
    run([&] { return outcome_.has_value() || (stop && stop()); }, duration);
    if (!outcome_) ops.StopKeypadTest();
    if (outcome_) return *outcome_;
    return waitForOutcome();
}

void CliSession::run(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const Clock::time_point end = now() + limit;
    Clock::time_point nextTick = now() + kTick;
    while (!done()) {
        dispatcher.runPending();
        if (done()) break;
        const Clock::time_point t = now();
        if (t >= end) break;
        if (t >= nextTick) {
            ops.Timer1Timer();
            nextTick = t - nextTick >= kTick ? t + kTick : nextTick + kTick;
            continue;
        }
        dispatcher.runOne(std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - t) +
                          std::chrono::milliseconds(1));
    }
}

}  // namespace qb
