#!/usr/bin/env bash
# Renders the committed PNGs from the SVG sources (needs rsvg-convert, librsvg2-bin).
# The PNGs are committed so that a build needs no renderer.
set -euo pipefail
cd "$(dirname "$0")"
for i in 0 1 2; do
  rsvg-convert -w 16 -h 16 "tray$i.svg" -o "tray$i.png"
done
# The program icon is tray image 0 at the sizes desktops ask for.
for size in 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" tray0.svg -o "pingvard-$size.png"
done
rsvg-convert -w 170 -h 73 logo.svg -o logo.png
