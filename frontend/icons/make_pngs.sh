#!/bin/sh
# Renders the launcher icon tarnwick.svg to the PNG sizes desktops look for
# (png/tarnwick-N.png, installed as share/icons/hicolor/NxN/apps/tarnwick.png).
# Run it after changing the SVG and commit the result; it needs rsvg-convert (librsvg2-bin).
set -e
cd "$(dirname "$0")"
mkdir -p png
for size in 16 22 32 48 64 128; do
    rsvg-convert -w "$size" -h "$size" tarnwick.svg -o "png/tarnwick-$size.png"
done
