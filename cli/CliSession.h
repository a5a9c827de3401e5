// The window's pieces without the window, for the command line: the record, an in-memory view, the device link
// and the operations, on this thread, with the console as their user.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>

#include "config/KeypadConfig.h"
#include "config/MemoryConfigView.h"
#include "device/DeviceLink.h"
#include "device/QueueDispatcher.h"
#include "protocol/Operations.h"
#include "protocol/OperationsUi.h"

namespace qb {

// What the operations show, as lines: results and completions on `out`, errors on `err`.
class ConsoleUi : public OperationsUi {
public:
    ConsoleUi(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    void showError(const std::u16string& text) override;
    void showInformation(const std::u16string& text) override;
    void clearLog() override {}
    void addLogLine(const std::u16string& line) override;
    void showKey(int legendIndex) override;
    void setTestButtonCaption(const std::u16string&) override {}
    void setBusy(bool) override {}

    bool failed = false;
    int completions = 0;
    std::u16string lastError;
    std::string version;  // of the device last identified
    std::string serial;

private:
    std::ostream& out_;
    std::ostream& err_;
    int lit_ = -1;
};

class CliSession {
public:
    using Clock = std::chrono::steady_clock;

    CliSession(Transport& transport, std::ostream& out, std::ostream& err);
    ~CliSession();

    // Runs the 50 ms ticks and the device's answers until `done` holds, an error was shown or `limit` has passed.
    // Answers already waiting are handled before a tick is counted, and ticks missed while the process stood
    // still (a pause, a suspended machine) are not made up in a burst: an answer that is already there is never
    // timed out.
    void run(const std::function<bool()>& done, std::chrono::milliseconds limit);

    // Where time comes from; tests move it.
    std::function<Clock::time_point()> now = [] { return Clock::now(); };

    ConsoleUi ui;
    QueueDispatcher dispatcher;
    ConfigStore store;
    MemoryConfigView view;
    DeviceLink link;
    DeviceOperations ops;
};

}  // namespace qb
