// quillanterbrooke-cli: the device operations and data files from a shell or a script.
#include <atomic>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CommandLine.h"
#include "simulator/TransportFactory.h"
#include "device/TracingTransport.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void Interrupt(int) {
    interrupted = true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = qb::Utf8Arguments(argc, argv);
    bool simulate = false;
    std::string device;  // with several encoders attached: the one with this path or USB serial number
    std::string tracePath;
    while (!args.empty() && (args.front() == "--simulate" || args.front() == "--device" || args.front() == "--trace")) {
        if (args.front() == "--simulate") {
            simulate = true;
            args.erase(args.begin());
            continue;
        }
        if (args.size() < 2 || args[1].empty()) {
            std::cerr << qb::CliUsage();
            return 2;
        }
        (args.front() == "--device" ? device : tracePath) = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (!args.empty() && (args.front() == "--help" || args.front() == "-h")) {
        std::cout << qb::CliUsage();
        return std::cout.flush() ? 0 : 1;
    }
    // Output to a closed pipe fails like any other output error (exit 1) instead of killing the process; so does
    // a trace whose reader went away.
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    std::signal(SIGINT, Interrupt);
    std::signal(SIGTERM, Interrupt);
    std::unique_ptr<qb::Transport> transport = qb::makeTransport(simulate);
    qb::TracingTransport* tracing = nullptr;
    if (!tracePath.empty()) {
        std::string error;
        auto traced = qb::TracingTransport::ToFile(std::move(transport), tracePath, error);
        if (!traced) {
            std::cerr << error << '\n';
            return 1;
        }
        tracing = traced.get();
        transport = std::move(traced);
    }
    int status = qb::RunCli(args, *transport, std::cout, std::cerr, &interrupted, device);
    if (tracing && !tracing->ok()) {
        std::cerr << "Cannot write the trace " << tracePath << '\n';
        if (status == 0) status = 1;
    }
    return status;
}
