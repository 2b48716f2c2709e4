#!/bin/sh
# Renders the program icon's PNG sizes from fahuo.svg. Run after editing the SVG and commit
# the PNGs: the build and the installed desktop entry use them as they are.
# Needs rsvg-convert (Debian: librsvg2-bin).
set -eu
cd "$(dirname "$0")"
for n in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$n" -h "$n" fahuo.svg -o "fahuo-$n.png"
done
