// quillanterbrooke-cli: the device operations and data files from a shell or a script.
#include <atomic>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Cli.h"
#include "app/TransportFactory.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void Interrupt(int) {
    interrupted = true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = qb::Utf8Arguments(argc, argv);
    bool simulate = false;
    if (!args.empty() && args.front() == "--simulate") {
        simulate = true;
        args.erase(args.begin());
    }
    if (!args.empty() && (args.front() == "--help" || args.front() == "-h")) {
        std::cout << qb::CliUsage();
        return std::cout.flush() ? 0 : 1;
    }
    // Output to a closed pipe fails like any other output error (exit 1) instead of killing the process.
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    std::signal(SIGINT, Interrupt);
    std::signal(SIGTERM, Interrupt);
    const std::unique_ptr<qb::Transport> transport = qb::makeTransport(simulate);
    return qb::RunCli(args, *transport, std::cout, std::cerr, &interrupted);
}
