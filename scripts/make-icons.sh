#!/usr/bin/env bash
# Renders the icon's PNG sizes, and a Windows icon holding them all, from
# packaging/org.quillanterbrooke.Quillanterbrooke.svg into packaging/icons/.
# Run after changing the SVG; the results are kept in the repository so that no build needs an SVG renderer.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v rsvg-convert >/dev/null || { echo "needs rsvg-convert (librsvg2-bin)" >&2; exit 1; }
mkdir -p packaging/icons
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" packaging/org.quillanterbrooke.Quillanterbrooke.svg \
        -o "packaging/icons/$size.png"
done
# The Windows programs' icon: every size in one file.
convert packaging/icons/{16,24,32,48,64,128,256}.png packaging/icons/quillanterbrooke.ico
echo "icons made in packaging/icons"
