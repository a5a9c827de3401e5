#!/usr/bin/env bash
# Builds the program, starts it (with a simulated device) on a virtual X screen and saves a picture of its
# window, by default as docs/screenshot.png. BUILD_DIR chooses the build directory (default: build).
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "$self")/.."
out="${1:-docs/screenshot.png}"
build="${BUILD_DIR:-build}"

if [ "${QB_SCREENSHOT_INNER:-}" != 1 ]; then
    bash scripts/setup.sh
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j2 --target quillanterbrooke
    QB_SCREENSHOT_INNER=1 exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$self" "$out"
fi

title="VELMORA Quillanterbrooke Interface Version 1.00"
"$build/app/quillanterbrooke" --simulate &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true' EXIT

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
sleep 1  # let it paint
mkdir -p "$(dirname "$out")"
import -window "$id" "$out"
echo "saved $out"
