#!/usr/bin/env bash
# Compiles every source for Windows (MinGW-w64, syntax and types only, nothing is linked) against the host's Qt
# headers, so that the window's code behind _WIN32 keeps building there too; scripts/windows-test.sh links and
# runs everything without Qt. Exit status 77 where there is no cross compiler.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 ||
    { echo "== Windows type check skipped: no MinGW-w64 cross compiler (g++-mingw-w64-x86-64-posix) =="; exit 77; }
export qt=/usr/include/x86_64-linux-gnu/qt6
# What CMake defines for the window's program.
export app_id=$(sed -n 's/^set(QB_APP_ID \(.*\))$/\1/p' CMakeLists.txt)
check() {
    x86_64-w64-mingw32-g++-posix -std=c++20 -fsyntax-only -Wall -Wextra -I. -DQB_APP_ID="\"$app_id\"" \
        -isystem "$qt" -isystem "$qt/QtCore" -isystem "$qt/QtGui" -isystem "$qt/QtWidgets" \
        -isystem "$qt/QtSerialPort" -isystem "$json" "$1" || { echo "FAILED: $1" >&2; return 1; }
}
export -f check
# nlohmann-json's headers alone, not the rest of the host's /usr/include.
export json=$(mktemp -d)
trap 'rm -rf "$json"' EXIT
ln -s /usr/include/nlohmann "$json/nlohmann"
# CHMLib, the viewer-less build and hidapi are not used on Windows; libudev and the virtual device (/dev/uhid) are
# Linux's alone.
ls config/*.cpp device/*.cpp protocol/*.cpp simulator/*.cpp workshop/*.cpp cli/*.cpp gui/*.cpp gui/*/*.cpp |
    grep -v -e 'gui/help/ChmFile.cpp' -e 'gui/help/HelpWindow.cpp' -e 'gui/help/HelpViewerChm.cpp' -e 'gui/help/HelpViewerNone.cpp' \
        -e 'device/HidapiTransport.cpp' -e 'device/PlatformBusWatcherUdev.cpp' \
        -e 'simulator/VirtualDevice.cpp' -e 'simulator/VirtualBench.cpp' \
        -e 'simulator/virtual_device_main.cpp' |
    xargs -P "$(nproc 2>/dev/null || echo 2)" -I{} bash -c 'check {}'
echo "every source compiles for Windows"
