// quillanterbrooke-cli: the device operations and data files from a shell or a script.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/Arguments.h"
#include "app/Cli.h"
#include "app/TransportFactory.h"

int main(int argc, char** argv) {
    std::vector<std::string> args = qb::Utf8Arguments(argc, argv);
    bool simulate = false;
    if (!args.empty() && args.front() == "--simulate") {
        simulate = true;
        args.erase(args.begin());
    }
    if (!args.empty() && (args.front() == "--help" || args.front() == "-h")) {
        std::cout << qb::CliUsage();
        return 0;
    }
    const std::unique_ptr<qb::Transport> transport = qb::makeTransport(simulate);
    return qb::RunCli(args, *transport, std::cout, std::cerr);
}
