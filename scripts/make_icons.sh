#!/usr/bin/env bash
# Renders the PNG icons from the scalable one. The PNGs are committed, so building needs no SVG
# renderer; run this again after changing packaging/icons/pallimor.svg.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../packaging/icons"
command -v rsvg-convert >/dev/null || { echo "make_icons: install librsvg2-bin for rsvg-convert" >&2; exit 1; }
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" --format png --output "pallimor-$size.png" pallimor.svg
done
