// quillanterbrooke-cli: the same operations as the window, for scripts.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

namespace qb {

class Transport;

// Runs one command. `transport` is where the device is looked for (the real HID layer, or a simulated device);
// `interrupted` (Ctrl-C) ends a command that waits for devices; `device`, if not empty, the path or USB serial
// number of the one encoder to use. Returns the process exit code: 0 done, 1 failed, 2 bad usage. A failed write
// to `out` is a failure.
int RunCli(const std::vector<std::string>& args, Transport& transport, std::ostream& out, std::ostream& err,
           const std::atomic<bool>* interrupted = nullptr, const std::string& device = {});

// What `--help` prints.
std::string CliUsage();

}  // namespace qb
