#!/usr/bin/env bash
# Builds the Debian package from a build folder (default: build) and checks it: lintian finds no error, the
# desktop entry and the metainfo validate, .dat files are known by name and by content, and the package installs
# and removes cleanly with dpkg. That last step runs only as root and where the package is not installed
# already, and leaves the machine as it was.
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(cd "${1:-build}" && pwd)"
id=org.quillanterbrooke.Quillanterbrooke

rm -rf "$build/package"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$build/package" >/dev/null
deb=$(echo "$build"/package/quillanterbrooke_*.deb)
[ -f "$deb" ] || { echo "no package was made" >&2; exit 1; }
echo "== package: $(basename "$deb") =="
dpkg-deb --field "$deb" Depends

fail() {
    echo "FAILED: $*" >&2
    exit 1
}
# Debian's package checker: errors fail, warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb" || fail "lintian"

root=$(mktemp -d)
installed=""
cleanup() {
    rm -rf "$root"
    [ -z "$installed" ] || dpkg --purge quillanterbrooke >/dev/null
}
trap cleanup EXIT
dpkg-deb -x "$deb" "$root"
for f in usr/bin/quillanterbrooke usr/bin/quillanterbrooke-cli usr/share/quillanterbrooke/quillanterbrooke.chm \
    usr/lib/udev/rules.d/70-quillanterbrooke.rules usr/share/man/man1/quillanterbrooke-cli.1.gz \
    usr/share/man/man1/quillanterbrooke.1.gz usr/share/mime/packages/quillanterbrooke-config.xml \
    usr/share/icons/hicolor/scalable/apps/$id.svg usr/share/icons/hicolor/256x256/apps/$id.png \
    usr/share/icons/hicolor/16x16/apps/$id.png usr/share/doc/quillanterbrooke/copyright; do
    [ -f "$root/$f" ] || fail "not in the package: /$f"
done
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"

# The file type: by name, and by the first bytes for a configuration file under another name.
mime="$root/mime-home"
mkdir -p "$mime/mime/packages"
cp "$root/usr/share/mime/packages/quillanterbrooke-config.xml" "$mime/mime/packages/"
update-mime-database "$mime/mime" >/dev/null 2>&1
"$root/usr/bin/quillanterbrooke-cli" new "$root/keypad.dat" >/dev/null
cp "$root/keypad.dat" "$root/keypad.bin"
for f in keypad.dat keypad.bin; do
    type=$(XDG_DATA_HOME="$mime" XDG_DATA_DIRS=/usr/share mimetype --brief "$root/$f")
    [ "$type" = application/x-quillanterbrooke-config ] || fail "$f is taken for $type"
done
echo "desktop entry, metainfo and file type: valid"

if [ "$(id -u)" -ne 0 ]; then
    echo "== install and removal skipped: needs root (dpkg) =="
    exit 77
fi
if dpkg-query -W -f='${Status}' quillanterbrooke 2>/dev/null | grep -q installed; then
    echo "== install and removal skipped: quillanterbrooke is installed on this machine already =="
    exit 77
fi
installed=yes
dpkg -i "$deb" >/dev/null || fail "dpkg -i"
files=$(dpkg -L quillanterbrooke | while read -r f; do [ -f "$f" ] && echo "$f"; done)
quillanterbrooke-cli --simulate read | grep -q "Baud rate" || fail "the installed quillanterbrooke-cli"
QT_QPA_PLATFORM=offscreen quillanterbrooke --help | grep -q simulate || fail "the installed quillanterbrooke"
man -w quillanterbrooke-cli >/dev/null || fail "man quillanterbrooke-cli"
installed=""
dpkg --purge quillanterbrooke >/dev/null || fail "dpkg --purge"
for f in $files; do [ ! -e "$f" ] || fail "left behind after removal: $f"; done
echo "== package installs and removes cleanly =="
