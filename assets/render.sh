#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the committed PNGs from the SVG sources (needs rsvg-convert, librsvg2-bin).
# The PNGs are committed so that a build needs no renderer.
set -euo pipefail
cd "$(dirname "$0")"
# The panel sizes desktops draw tray icons at; each is rendered from the
# vector source, so no panel has to scale a bitmap.
tray_sizes=(16 22 24 32 48 64)
for i in 0 1 2 3; do
  for size in "${tray_sizes[@]}"; do
    rsvg-convert -w "$size" -h "$size" "tray$i.svg" -o "tray$i-$size.png"
  done
done
# The program icon is tray image 0, also at the sizes menus and launchers ask for.
for size in "${tray_sizes[@]}" 128 256; do
  rsvg-convert -w "$size" -h "$size" tray0.svg -o "pingvard-$size.png"
done
rsvg-convert -w 170 -h 73 logo.svg -o logo.png
