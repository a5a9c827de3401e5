#!/usr/bin/env bash
# Installs the program into a scratch prefix and starts it the way its menu entry does, with a data file as a
# double-click would, on a virtual X screen with a desktop (IceWM, whose menus, title bars and task bar show the
# icons), and opens the desktop's menu at the entry. Saves a picture of the screen, by default as
# docs/desktop.png. BUILD_DIR chooses the build directory (default: build).
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "$self")/.."
out="${1:-docs/desktop.png}"
build="${BUILD_DIR:-build}"
id=org.quillanterbrooke.Quillanterbrooke

if [ "${QB_SCREENSHOT_INNER:-}" != 1 ]; then
    bash scripts/setup.sh
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" -j2 --target quillanterbrooke quillanterbrooke-cli quillanterbrooke_packaging_files
    QB_SCREENSHOT_INNER=1 exec xvfb-run -a -s "-screen 0 1120x760x24" bash "$self" "$out"
fi

scratch=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
cmake --install "$build" --prefix "$scratch/usr" >/dev/null
export HOME="$scratch/home" XDG_DATA_DIRS="$scratch/usr/share:/usr/share" PATH="$scratch/usr/bin:$PATH"
mkdir -p "$HOME/.icewm"
printf 'TaskBarShowClock=0\nTaskBarShowWorkspaces=0\nTaskBarShowCPUStatus=0\nTaskBarShowNetStatus=0\nTaskBarShowMEMStatus=0\nShowProgramsMenu=1\n' \
    >"$HOME/.icewm/preferences"
echo "IconPath=\"$scratch/usr/share/icons:/usr/share/icons\"" >>"$HOME/.icewm/preferences"
icewm >/dev/null 2>&1 &
pids+=($!)
sleep 1

quillanterbrooke-cli new "$scratch/keypad.dat" >/dev/null
# The menu entry's command, with the file in place of %f.
command=$(sed -n 's/^Exec=//p' "$scratch/usr/share/applications/$id.desktop")
${command/\%f/$scratch/keypad.dat} &
pids+=($!)

title="VELMORA Quillanterbrooke Interface Version 1.00"
for _ in $(seq 100); do
    xwininfo -root -tree 2>/dev/null | grep -qF "\"$title\"" && break
    sleep 0.1
done
xwininfo -root -tree 2>/dev/null | grep -qF "\"$title\"" || { echo "the window did not appear" >&2; exit 1; }
sleep 2  # let the window and the task bar paint
# The start menu open at the entry: IceWM builds its menus of the desktop's categories from the installed
# desktop files (the first "Settings" in the menu, then HardwareSettings).
xdotool key ctrl+Escape
sleep 0.5
xdotool mousemove 60 582 click 1
sleep 0.5
xdotool mousemove 240 583 click 1  # its HardwareSettings submenu, which holds the entry
sleep 0.5
xdotool mousemove_relative 160 0  # onto the entry
sleep 1
mkdir -p "$(dirname "$out")"
import -window root "$out"
echo "saved $out"
