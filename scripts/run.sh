#!/usr/bin/env bash
# Installs what is needed, builds the program and starts it with a simulated device. Arguments are passed on.
# Without a display it runs on a virtual X screen (xvfb-run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_BUILD_TESTS=OFF
cmake --build build --target quillanterbrooke
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No DISPLAY or WAYLAND_DISPLAY: running under xvfb-run, on a virtual screen nobody sees." >&2
    exec xvfb-run -a build/gui/quillanterbrooke --simulate "$@"
fi
exec build/gui/quillanterbrooke --simulate "$@"
