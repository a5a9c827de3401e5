#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, run and test. Idempotent; run as root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    libgtest-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-serialport-dev
    libudev-dev
    libhidapi-dev
    nlohmann-json3-dev
    libchm-dev fp-utils
    clang libclang-rt-14-dev
    xvfb xauth x11-apps x11-utils imagemagick
    qemu-system-x86 busybox-static cpio
    fonts-dejavu-core
    # The Debian package and its checks (scripts/package-test.sh), the Windows build under Wine
    # (scripts/windows-test.sh), the desktop screenshot (scripts/screenshot-desktop.sh).
    file dpkg-dev lintian desktop-file-utils appstream shared-mime-info libfile-mimeinfo-perl man-db
    g++-mingw-w64-x86-64-posix googletest wine64
    icewm twm xdotool
)

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
