#!/usr/bin/env bash
# Renders the PNG sizes of Torvi's icon from packaging/icons/torvi.svg into
# packaging/icons/NxN/torvi.png. Run it after redrawing the icon and commit the
# pictures. Needs rsvg-convert (`scripts/install-deps.sh deb` installs it).
set -euo pipefail
cd "$(dirname "$0")/../packaging/icons"
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "${size}x${size}"
    rsvg-convert -w "$size" -h "$size" torvi.svg -o "${size}x${size}/torvi.png"
done
