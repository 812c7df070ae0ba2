#!/usr/bin/env bash
# Draws every icon from varnholt.svg, the one source: the PNGs of the hicolor
# sizes, the square ones (the background to the edges, for a maskable web-app
# icon and an iPhone's home screen, which round or mask it themselves) and the
# Windows .ico. The results are committed, so a build never draws them and
# their bytes are the same everywhere; run this after changing the SVG.
# Needs rsvg-convert (librsvg2-bin) and icotool (icoutils).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256 512; do
    rsvg-convert -w "$size" -h "$size" -o "varnholt-$size.png" varnholt.svg
done
sed "s/ rx='[0-9]*'//" varnholt.svg | rsvg-convert -w 512 -h 512 -o varnholt-square-512.png
sed "s/ rx='[0-9]*'//" varnholt.svg | rsvg-convert -w 180 -h 180 -o varnholt-square-180.png
# The .ico holds every size Explorer asks for, each stored as PNG (which
# Windows reads since Vista), a sixth of the size of bitmaps in each program.
icotool -c -o varnholt.ico -r varnholt-16.png -r varnholt-24.png -r varnholt-32.png \
        -r varnholt-48.png -r varnholt-64.png -r varnholt-256.png
