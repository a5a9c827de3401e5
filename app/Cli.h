// The command-line front end: the same operations as the window, for scripts.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qb {

class Transport;

// Runs one command. `transport` is where the device is looked for (the real HID layer, or a simulated
// device); `device`, if not empty, the path or USB serial number of the one encoder to use. Returns the
// process exit code: 0 done, 1 failed, 2 bad usage.
int RunCli(const std::vector<std::string>& args, Transport& transport, std::ostream& out, std::ostream& err,
           const std::string& device = {});

// What `--help` prints.
std::string CliUsage();

}  // namespace qb
