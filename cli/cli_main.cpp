// quillanterbrooke-cli: the device operations and data files from a shell or a script.
#include <atomic>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CommandLine.h"
#include "config/ProcessSetup.h"
#include "simulator/TransportFactory.h"

#ifdef _WIN32
#include <io.h>
#define QB_ISATTY _isatty
#define QB_FILENO _fileno
#else
#include <unistd.h>
#define QB_ISATTY isatty
#define QB_FILENO fileno
#endif

namespace {

// SIGINT and SIGTERM, counted: the first ends a waiting command, a second cuts its devices short.
std::atomic<int> interrupted{0};

extern "C" void Interrupt(int) {
    ++interrupted;
}

}  // namespace

int main(int argc, char** argv) {
    // Closed at start, standard output is lost: that is a failure, and no file the command opens takes its place.
    if (qb::HoldStandardDescriptors()) std::cout.setstate(std::ios::badbit);
    const std::vector<std::string> args = qb::Utf8Arguments(argc, argv);
    // Output to a closed pipe fails like any other output error (exit 1) instead of killing the process.
    qb::IgnoreBrokenPipes();
    std::signal(SIGINT, Interrupt);
    std::signal(SIGTERM, Interrupt);
    const qb::CliEnvironment environment{
        std::cout,
        std::cerr,
        [](bool simulate, bool fresh) { return qb::MakeCommandLineTransport(simulate, fresh, std::cerr); },
        &interrupted,
        QB_ISATTY(QB_FILENO(stderr)) ? &std::cerr : nullptr,
        {}};
    return qb::RunCli(args, environment);
}
