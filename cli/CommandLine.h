// The program's command-line arguments as UTF-8 text, the encoding the front ends hand to file paths.
#pragma once

#include <string>
#include <vector>

namespace qb {

// Every argument after the program name. On Windows they are read from the UTF-16 command line (the 8-bit
// `argv` there is in the ANSI code page and loses what that cannot spell), and the console's output is
// switched to UTF-8, the encoding the tool prints in, until the program exits.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

}  // namespace qb
