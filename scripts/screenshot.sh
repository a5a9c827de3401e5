#!/usr/bin/env bash
# Builds the program, starts it (with a simulated device) on a virtual X screen with a plain window manager and
# saves a picture of its two windows, by default as docs/screenshot.png. BUILD_DIR chooses the build directory
# (default: build).
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "$self")/.."
out="${1:-docs/screenshot.png}"
build="${BUILD_DIR:-build}"

if [ "${QB_SCREENSHOT_INNER:-}" != 1 ]; then
    bash scripts/setup.sh
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j2 --target quillanterbrooke
    QB_SCREENSHOT_INNER=1 exec xvfb-run -a -s "-screen 0 1400x720x24 -br" bash "$self" "$out"
fi

title="VELMORA Quillanterbrooke Interface Version 1.00"
# A window manager draws the title bars, so the caption shows in the picture.
wm=""
if command -v twm >/dev/null 2>&1; then
    printf 'NoGrabServer\nRandomPlacement\nUsePPosition "on"\nBorderWidth 1\nTitleFont "fixed"\nResizeFont "fixed"\nMenuFont "fixed"\nIconFont "fixed"\nIconManagerFont "fixed"\n' >"${TMPDIR:-/tmp}/qb-twmrc"
    twm -f "${TMPDIR:-/tmp}/qb-twmrc" >/dev/null 2>&1 &
    wm=$!
    sleep 0.5
fi
"$build/app/quillanterbrooke" --simulate &
pid=$!
trap 'kill "$pid" ${wm} 2>/dev/null; wait "$pid" 2>/dev/null || true' EXIT

id=""
for _ in $(seq 100); do
    id=$(xwininfo -root -tree 2>/dev/null | awk -v t="\"$title\"" 'index($0, t) { print $1; exit }')
    [ -n "$id" ] && break
    sleep 0.1
done
if [ -z "$id" ]; then
    echo "the window did not appear" >&2
    exit 1
fi
sleep 1.5  # let both windows paint
mkdir -p "$(dirname "$out")"
# The whole screen, its empty black rest trimmed away.
import -window root png:- | convert png:- -trim +repage "$out"
echo "saved $out"
