// quillanterbrooke-cli: the same operations as the window, for scripts.
#pragma once

#include <atomic>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace qb {

class Dispatcher;
class PlatformBusWatcher;
class Transport;

inline constexpr char kCliName[] = "quillanterbrooke-cli";

// What a run of the command line is given from outside.
struct CliEnvironment {
    std::ostream& out;
    std::ostream& err;
    // Where the device is looked for: the real HID layer, or with --simulate a simulated device (`fresh`: one that
    // starts as a new device, forgetting what earlier runs wrote into it).
    std::function<std::unique_ptr<Transport>(bool simulate, bool fresh)> makeTransport;
    // How many times Ctrl-C (SIGINT) or SIGTERM came: a command that waits (the keypad test, programming each
    // device) ends; programming each device finishes the devices being written first unless a second one comes.
    const std::atomic<int>* signals = nullptr;
    // The terminal behind `err`, if it is one: a progress bar is drawn there.
    std::ostream* terminal = nullptr;
    // What tells program --each of plugs; empty: the platform's bus watcher (a quick look with --simulate).
    std::function<std::unique_ptr<PlatformBusWatcher>(Dispatcher&)> makeBusWatcher;
};

// Runs one command line (the arguments after the program's name). Returns the process exit code: 0 done, 1
// failed, 2 bad usage. A failed write to `out` is a failure.
int RunCli(const std::vector<std::string>& args, const CliEnvironment& environment);

// A transport that is the caller's and stays the caller's: for tests and for a device made elsewhere.
std::unique_ptr<Transport> Borrow(Transport& transport);

// The usage as --help prints it, and the manual page in roff, both made from the one table of commands.
std::string CliHelp();
std::string CliManPage();

}  // namespace qb
