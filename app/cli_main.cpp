// quillanterbrooke-cli: the device operations and data files from a shell or a script.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/Cli.h"
#include "app/TransportFactory.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    bool simulate = false;
    std::string device;  // with several encoders attached: the one with this path or USB serial number
    while (!args.empty() && (args.front() == "--simulate" || args.front() == "--device")) {
        if (args.front() == "--simulate") {
            simulate = true;
            args.erase(args.begin());
            continue;
        }
        if (args.size() < 2) {
            std::cerr << qb::CliUsage();
            return 2;
        }
        device = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (!args.empty() && (args.front() == "--help" || args.front() == "-h")) {
        std::cout << qb::CliUsage();
        return 0;
    }
    const std::unique_ptr<qb::Transport> transport = qb::makeTransport(simulate);
    return qb::RunCli(args, *transport, std::cout, std::cerr, device);
}
