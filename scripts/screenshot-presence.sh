#!/usr/bin/env bash
# Makes docs/presence.png: the tool with a simulated device, its status line, and the serial monitor showing the
# messages of keys pressed on the simulated pad, on a virtual X screen with a plain window manager.
# BUILD_DIR chooses the build directory (default: build).
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "$self")/.."
out="${1:-docs/presence.png}"
build="${BUILD_DIR:-build}"

if [ "${QB_SCREENSHOT_INNER:-}" != 1 ]; then
    bash scripts/setup.sh
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j2 --target qb_presence_scene
    QB_SCREENSHOT_INNER=1 exec xvfb-run -a -s "-screen 0 1500x760x24 -br" bash "$self" "$out"
fi

wm=""
if command -v twm >/dev/null 2>&1; then
    printf 'NoGrabServer\nRandomPlacement\nUsePPosition "on"\nBorderWidth 1\nTitleFont "fixed"\nResizeFont "fixed"\nMenuFont "fixed"\nIconFont "fixed"\nIconManagerFont "fixed"\n' >"${TMPDIR:-/tmp}/qb-twmrc"
    twm -f "${TMPDIR:-/tmp}/qb-twmrc" >/dev/null 2>&1 &
    wm=$!
    sleep 0.5
fi
trap '[ -n "$wm" ] && kill "$wm" 2>/dev/null || true' EXIT
mkdir -p "$(dirname "$out")"
"$build/bench/qb_presence_scene" "$out.full.png"
# The empty black rest of the screen trimmed away.
convert "$out.full.png" -trim +repage "$out"
rm -f "$out.full.png"
echo "saved $out"
