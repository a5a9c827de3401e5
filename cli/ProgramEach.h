// program FILE --each: every encoder plugged in is written and verified once, each in a session of its own, side by
// side; one line per device on the screen and in the log.
#pragma once

#include <atomic>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "config/KeypadConfig.h"
#include "protocol/Operations.h"

namespace qb {

class Dispatcher;
class PlatformBusWatcher;
class Transport;

struct ProgramEachSettings {
    KeypadConfig config;
    OperationOptions options{false, true};  // verified; the messages too with --all
    bool backup = false;                    // a backup of what each device held first
    std::string device;                     // only encoders this path or USB serial number string chooses
    std::string log;                        // the log's path, or empty for none
    bool json = false;                      // JSON lines on the screen and in the log instead of text and CSV
};

struct ProgramEachEnvironment {
    std::ostream& out;
    std::ostream& err;
    Transport& transport;
    // The bus watcher for the loop's dispatcher: the platform's by default.
    std::function<std::unique_ptr<PlatformBusWatcher>(Dispatcher&)> makeBusWatcher;
    // How many times SIGINT or SIGTERM came: one ends the run once the devices being written are finished, two
    // cut them short.
    const std::atomic<int>* signals = nullptr;
};

// Runs until a signal ends it; returns the exit code: 0 only when every device passed and every line was logged.
int ProgramEach(const ProgramEachSettings& settings, const ProgramEachEnvironment& environment);

}  // namespace qb
