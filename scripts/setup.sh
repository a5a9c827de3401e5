#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs: with "run" only those that build and run the programs,
# otherwise also every test's. Idempotent; run as root.
set -euo pipefail

# What building and running the programs needs ("run"); the tests and their tool chain besides (the default).
packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-serialport-dev
    libudev-dev libhidapi-dev libchm-dev fp-utils libcli11-dev nlohmann-json3-dev
    xvfb xauth fonts-dejavu-core
)
if [ "${1:-all}" != run ]; then
    packages+=(
        git libgtest-dev
        clang libclang-rt-14-dev
        x11-apps x11-utils imagemagick
        qemu-system-x86 busybox-static cpio
        # The Debian package and its checks (scripts/package-test.sh), the Windows build under Wine
        # (scripts/windows-test.sh), the desktop screenshot (scripts/screenshot-desktop.sh).
        file dpkg-dev lintian desktop-file-utils appstream shared-mime-info libfile-mimeinfo-perl man-db
        g++-mingw-w64-x86-64-posix googletest wine64 unzip fonts-dejavu-extra
        icewm twm xdotool
    )
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
