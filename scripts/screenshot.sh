#!/usr/bin/env bash
# Builds the program, starts it (with a simulated device) on a virtual X screen with a plain window manager and
# saves a picture of its two windows, by default as docs/screenshot.png. With --presence first, the picture of
# the status line and the serial monitor instead (docs/presence.png, made by bench/PresenceScene.cpp). BUILD_DIR
# chooses the build directory (default: build).
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "$self")/.."
scene=""
if [ "${1:-}" = "--presence" ]; then
    scene=presence
    shift
fi
out="${1:-docs/${scene:-screenshot}.png}"
build="${BUILD_DIR:-build}"

if [ "${QB_SCREENSHOT_INNER:-}" != 1 ]; then
    bash scripts/setup.sh
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    target=quillanterbrooke
    [ -z "$scene" ] || target=qb_presence_scene
    cmake --build "$build" -j2 --target "$target"
    QB_SCREENSHOT_INNER=1 QB_SCENE="$scene" exec xvfb-run -a -s "-screen 0 1500x760x24 -br" bash "$self" "$out"
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
mkdir -p "$(dirname "$out")"
if [ "${QB_SCENE:-}" = presence ]; then
    # The scene saves the whole screen itself once its keys have been pressed.
    "$build/bench/qb_presence_scene" "$out.full.png"
    convert "$out.full.png" -trim +repage "$out"
    rm -f "$out.full.png"
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    echo "saved $out"
    exit 0
fi
"$build/gui/quillanterbrooke" --simulate &
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
