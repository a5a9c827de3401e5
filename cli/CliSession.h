// One device session of the command line: the device link and the operations on this thread, driven by a loop of
// 50 ms ticks, each operation ending in its outcome.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "config/KeypadConfig.h"
#include "device/DeviceLink.h"
#include "device/QueueDispatcher.h"
#include "protocol/Operations.h"
#include "protocol/OperationsUi.h"

namespace qb {

// A one-line bar on a terminal: "[##########          ]  18/37". Nothing at all without a terminal.
class ProgressBar {
public:
    explicit ProgressBar(std::ostream* terminal) : terminal_(terminal) {}
    void show(const Progress& progress);
    // Clears the line once the operation has ended.
    void clear();

private:
    std::ostream* terminal_;
    bool drawn_ = false;
};

class CliSession : public OperationsUi {
public:
    using Clock = std::chrono::steady_clock;

    // `device`, if not empty: the path or USB serial number string of the one encoder to use. `terminal`: where
    // the progress bar is drawn, or null.
    CliSession(Transport& transport, const std::string& device = {}, std::ostream* terminal = nullptr);
    ~CliSession() override;

    Outcome write(const KeypadConfig& config, OperationOptions options);
    Outcome read(OperationOptions options);
    // Runs the keypad test until `stop` holds or `duration` has passed (or the device fails), then stops it.
    Outcome keypadTest(const KeypadConfig& config, std::chrono::milliseconds duration,
                       const std::function<bool()>& stop);

    // Runs the 50 ms ticks and the device's answers until `done` holds or `limit` has passed. Answers already
    // waiting are handled before a tick is counted, and ticks missed while the process stood still (a pause, a
    // suspended machine) are not made up in a burst: an answer that is already there is never timed out.
    void run(const std::function<bool()>& done, std::chrono::milliseconds limit);

    // Each key the keypad test sees go down or up: a legend index, or -1 when released. Told once per change.
    std::function<void(int legendIndex)> onKey;
    // When it holds, a write or read under way is given up at once (the command line: a second signal).
    std::function<bool()> cutShort;
    // Where time comes from; tests move it.
    std::function<Clock::time_point()> now = [] { return Clock::now(); };

    QueueDispatcher dispatcher;
    DeviceLink link;
    DeviceOperations ops;

private:
    Outcome waitForOutcome();

    // OperationsUi: the command line tells what happened from the outcome alone.
    void showError(const std::u16string&) override {}
    void showInformation(const std::u16string&) override {}
    void clearLog() override {}
    void addLogLine(const std::u16string&) override {}
    void showKey(int legendIndex) override;
    void setTestButtonCaption(const std::u16string&) override {}
    void setBusy(bool) override {}
    void showProgress(const Progress& progress) override { bar_.show(progress); }
    void finished(const Outcome& outcome) override { outcome_ = outcome; }

    ProgressBar bar_;
    std::optional<Outcome> outcome_;
    int lit_ = -1;
};

}  // namespace qb
