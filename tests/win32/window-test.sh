#!/usr/bin/env bash
# The Windows program's window under Wine, driven from outside by win32_probe as a user would: on a display of its
# own (Xvfb) and a Wine prefix of its own, so that nothing else shows windows there. Every case at the design's
# 96 dpi, then the design again at 144 dpi. Skipped (status 77) with the reason where Wine or Xvfb cannot run.
# Leaves a picture of the window after a write in OUT/win32-window.png.
# Usage: window-test.sh PROGRAM.exe win32_probe.exe OUT [CASE...] (cases given: those alone, at 96 dpi)
set -euo pipefail
program=$(realpath "$1")
probe=$(realpath "$2")
out=$3
shift 3
wine=/usr/lib/wine/wine64
skip() {
    echo "== Win32 window tests skipped: $1 =="
    exit 77
}
[ -x "$wine" ] || skip "Wine is not installed (wine64)"
command -v Xvfb >/dev/null || skip "Xvfb is not installed (xvfb)"
mkdir -p "$out"
out=$(realpath "$out")
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

# A display nobody else uses: Xvfb picks a free number and tells it.
rm -f "$out/display"
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$out/display" 2>"$out/xvfb.log" &
xvfb=$!
export WINEPREFIX="$out/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
cleanup() {
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do
    [ -s "$out/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || skip "Xvfb does not start (see $out/xvfb.log)"
    sleep 0.1
done
[ -s "$out/display" ] || skip "Xvfb does not tell its display"
export DISPLAY=":$(head -n1 "$out/display")"
mkdir -p "$WINEPREFIX"

restart_wine() {
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -p >/dev/null 2>&1 || skip "wineserver does not start"
}
restart_wine
# The prefix is made once; on a busy machine that sometimes fails and works when tried again.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    booted=""
    for _ in 1 2 3; do
        if WINEDEBUG= "$wine" wineboot --init >"$out/wineboot.log" 2>&1; then
            booted=yes
            break
        fi
    done
    [ -n "$booted" ] || skip "Wine cannot make its prefix (see $out/wineboot.log)"
fi

# The screen for the programs started from now on: Wine draws the frames itself on a desktop of its own (there is
# no window manager), large enough for the window at 144 dpi; Windows' fonts are replaced by narrow look-alikes
# where they are missing, as the Qt window does; the resolution is $1 dpi.
set_screen() {
    local dpi
    dpi=$(printf %08x "$1")
    cat >"$out/screen.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"Default"="1600x1200"

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"Tahoma"="DejaVu Sans Condensed"
"MS Sans Serif"="DejaVu Sans Condensed"

[HKEY_CURRENT_CONFIG\\Software\\Fonts]
"LogPixels"=dword:$dpi

[HKEY_CURRENT_USER\\Control Panel\\Desktop]
"LogPixels"=dword:$dpi
REG
    "$wine" regedit /S "$(windows_path "$out/screen.reg")" >/dev/null 2>&1
    restart_wine
}

run_probe() {
    "$wine" "$probe" "$(windows_path "$program")" "$(windows_path "$out")" "$@"
}
status=0
set_screen 96
run_probe "$@" || status=$?
if [ $# -eq 0 ]; then
    set_screen 144
    run_probe design-and-close || status=$?
fi
if [ -f "$out/win32-window.bmp" ] && command -v convert >/dev/null; then
    convert "$out/win32-window.bmp" "$out/win32-window.png" && rm -f "$out/win32-window.bmp"
fi
exit "$status"
