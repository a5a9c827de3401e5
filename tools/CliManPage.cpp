// Prints the command line's manual page, made from its table of commands: packaging/quillanterbrooke-cli.1 is this
// program's output (build/tools/qb_cli_man_page > packaging/quillanterbrooke-cli.1); a test keeps the two alike.
#include <iostream>

#include "cli/Cli.h"

int main() {
    std::cout << qb::CliManPage();
    return std::cout.flush() ? 0 : 1;
}
