#!/usr/bin/env bash
# Cross-builds the plain-C++ libraries, the command-line program, the window (Win32, no Qt) and their tests for
# Windows (MinGW-w64, linked statically), makes the Windows zip and checks it, and runs the tests under Wine: the
# window's on a display of their own (Xvfb), skipped with the reason where there is none. Skipped as a whole, with
# the reason, where Wine cannot run.
# QB_WINDOWS_BUILD_DIR chooses the build directory (default build-windows), JOBS the build parallelism.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${QB_WINDOWS_BUILD_DIR:-build-windows}"
jobs="${JOBS:-$(nproc 2>/dev/null || echo 2)}"

wine=/usr/lib/wine/wine64  # Debian's wine64 puts nothing on PATH
skip() {
    echo "== Windows tests skipped: $1 =="
    exit 77
}
command -v x86_64-w64-mingw32-g++-posix >/dev/null || skip "no MinGW-w64 cross compiler (g++-mingw-w64-x86-64-posix)"
[ -x "$wine" ] || skip "Wine is not installed (wine64)"

# A Wine prefix of the build's own; Wine's ANSI code page follows LC_ALL only (C.UTF-8: Windows-1252).
mkdir -p "$build/wine-prefix"
export WINEPREFIX="$PWD/$build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
# Wine's background processes start here, before anything runs a test program: otherwise ctest waits for them
# until its time-out. They are stopped again at the end.
# A server left by an interrupted run (the prefix is this build's own) is stopped first: a second will not start.
/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
/usr/lib/wine/wineserver -p >/dev/null 2>&1 || skip "wineserver does not start"
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true' EXIT
# Making a new prefix sometimes fails on a busy machine and works when tried again. Its output goes to a file:
# a pipe would stay open as long as Wine's background processes run.
booted=""
for _ in 1 2 3; do
    if WINEDEBUG= "$wine" wineboot --init >"$build/wineboot.log" 2>&1; then
        booted=yes
        break
    fi
done
[ -n "$booted" ] || skip "Wine cannot make its prefix (wineboot failed three times, see $build/wineboot.log)"

# pkg-config looks only in the cross root: the host's hidapi is no library for Windows.
PKG_CONFIG_LIBDIR=/usr/x86_64-w64-mingw32/lib/pkgconfig cmake -S . -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DQB_BUILD_GUI=OFF -DQB_BUILD_BENCHMARK=OFF
cmake --build "$build" -j "$jobs"

# The delivered zip: the program, importing nothing but the system's DLLs, its help file (where chmcmd made it)
# and its read-me.
(cd "$build" && cpack -G ZIP >cpack.log) || { cat "$build/cpack.log"; exit 1; }
zip="$build/quillanterbrooke-1.00-windows-x64.zip"
listing=$(unzip -Z1 "$zip")
for file in quillanterbrooke.exe README.txt $([ -f "$build/win32/quillanterbrooke.chm" ] && echo quillanterbrooke.chm); do
    grep -qx "quillanterbrooke-1.00-windows-x64/$file" <<<"$listing" || { echo "$zip lacks $file" >&2; exit 1; }
done
[ -f "$build/win32/quillanterbrooke.chm" ] || echo "== the zip has no help file: chmcmd (fp-utils) is missing =="
imports=$(x86_64-w64-mingw32-objdump -p "$build/win32/quillanterbrooke.exe" | sed -n 's/^\tDLL Name: //p')
system_dlls='^(kernel32|user32|gdi32|comctl32|comdlg32|advapi32|shell32|ole32|oleaut32|setupapi|hid|msvcrt)\.dll$'
if grep -viE "$system_dlls" <<<"$imports"; then
    echo "quillanterbrooke.exe needs the DLLs above, which Windows does not have" >&2
    exit 1
fi
# Its version as Explorer shows it.
strings -el "$build/win32/quillanterbrooke.exe" | tr '\n' '|' |
    grep -q 'ProductName|VELMORA Quillanterbrooke|ProductVersion|1.00|' ||
    { echo "quillanterbrooke.exe lacks its version resource" >&2; exit 1; }
echo "== $zip: $(wc -l <<<"$listing") entries, the program imports only system DLLs =="
# Wine on a busy machine now and then fails to start a test program at all (it ends at once, printing nothing):
# a failed test is run once more, and only one that fails twice fails the run.
ctest --test-dir "$build" -j "$jobs" --timeout 300 --output-on-failure --repeat until-pass:2
