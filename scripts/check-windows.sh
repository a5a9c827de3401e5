#!/usr/bin/env bash
# Compiles every source for Windows (MinGW-w64, syntax and types only, nothing is linked), so that code behind
# _WIN32 and the plain C++ libraries keep building there. Not part of the test run: it installs a cross compiler.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1; then
    [ "$(id -u)" -eq 0 ] || { echo "run as root to install g++-mingw-w64-x86-64-posix" >&2; exit 1; }
    apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends g++-mingw-w64-x86-64-posix
fi
qt=/usr/include/x86_64-linux-gnu/qt6
status=0
for f in config/*.cpp device/*.cpp protocol/*.cpp simulator/*.cpp app/*.cpp; do
    # CHMLib, the viewer-less build and hidapi are not used on Windows; libudev and the virtual device (/dev/uhid)
    # are Linux's alone.
    case "$f" in
    app/ChmFile.cpp | app/HelpWindow.cpp | app/HelpViewerChm.cpp | app/HelpViewerNone.cpp) continue ;;
    device/HidapiTransport.cpp | app/PlatformBusWatcherUdev.cpp) continue ;;
    simulator/VirtualDevice.cpp | simulator/virtual_device_main.cpp) continue ;;
    esac
    if ! x86_64-w64-mingw32-g++-posix -std=c++20 -fsyntax-only -Wall -Wextra -I. \
        -isystem "$qt" -isystem "$qt/QtCore" -isystem "$qt/QtGui" -isystem "$qt/QtWidgets" -isystem "$qt/QtSerialPort" "$f"; then
        echo "FAILED: $f" >&2
        status=1
    fi
done
[ "$status" -eq 0 ] && echo "every source compiles for Windows"
exit "$status"
