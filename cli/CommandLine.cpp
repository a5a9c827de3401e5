#include "cli/CommandLine.h"

#ifdef _WIN32
#include "config/Win32.h"

#include <shellapi.h>

#include <cstdlib>

#include "config/Text.h"
#endif

namespace qb {

#ifdef _WIN32
namespace {

// The console is the user's (it outlives the program): its code page is given back at exit.
UINT previousOutputCodePage = 0;
void RestoreOutputCodePage() {
    SetConsoleOutputCP(previousOutputCodePage);
}

}  // namespace
#endif

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
    const UINT previous = GetConsoleOutputCP();  // 0: no console
    if (previous != 0 && previous != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        previousOutputCodePage = previous;
        std::atexit(RestoreOutputCodePage);
    }
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> args;
        for (int i = 1; i < count; ++i) args.push_back(ToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
        LocalFree(wide);
        return args;
    }
#endif
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace qb
