#!/usr/bin/env bash
# Compiles every source for Windows (MinGW-w64, syntax and types only, nothing is linked) against the host's Qt
# headers, so that the window's code behind _WIN32 keeps building there too; scripts/windows-test.sh links and
# runs everything without Qt. Usage: check-windows.sh [FOLDER...] (only those folders' sources). Exit status 77
# where there is no cross compiler.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 ||
    { echo "== Windows type check skipped: no MinGW-w64 cross compiler (g++-mingw-w64-x86-64-posix) =="; exit 77; }
export qt=/usr/include/x86_64-linux-gnu/qt6
# What CMake defines for the window's program.
export app_id=$(sed -n 's/^set(QB_APP_ID \(.*\))$/\1/p' CMakeLists.txt)
# The header-only libraries (CLI11, nlohmann-json) from the host, each folder on its own: the host's /usr/include as
# a whole would hide the target's C library.
export header_only=$(mktemp -d)
trap 'rm -rf "$header_only"' EXIT
for h in CLI nlohmann; do ln -s "/usr/include/$h" "$header_only/$h"; done
check() {
    x86_64-w64-mingw32-g++-posix -std=c++20 -fsyntax-only -Wall -Wextra -I. -isystem "$header_only" \
        -DQB_APP_ID="\"$app_id\"" \
        -isystem "$qt" -isystem "$qt/QtCore" -isystem "$qt/QtGui" -isystem "$qt/QtWidgets" \
        -isystem "$qt/QtSerialPort" "$1" || { echo "FAILED: $1" >&2; return 1; }
}
export -f check
# With folders named, only their sources (the test command names gui/, the one folder the Windows build leaves out).
only_folders() {
    if [ $# -eq 0 ]; then cat; else grep -E "^($(IFS='|'; echo "$*"))/"; fi
}
# CHMLib, the viewer-less build and hidapi are not used on Windows; libudev and the virtual device (/dev/uhid) are
# Linux's alone.
ls config/*.cpp device/*.cpp protocol/*.cpp simulator/*.cpp workshop/*.cpp presenter/*.cpp cli/*.cpp gui/*.cpp gui/*/*.cpp \
    win32/*.cpp tests/win32/win32_probe.cpp |
    grep -v -e 'gui/help/ChmFile.cpp' -e 'gui/help/HelpWindow.cpp' -e 'gui/help/HelpViewerChm.cpp' -e 'gui/help/HelpViewerNone.cpp' \
        -e 'device/HidapiTransport.cpp' -e 'device/PlatformBusWatcherUdev.cpp' -e 'device/PlatformBusWatcherNone.cpp' \
        -e 'simulator/VirtualDevice.cpp' -e 'simulator/VirtualBench.cpp' \
        -e 'simulator/virtual_device_main.cpp' |
    only_folders "$@" | xargs -P "$(nproc 2>/dev/null || echo 2)" -I{} bash -c 'check {}'
echo "every source checked compiles for Windows${1:+ (${*})}"
