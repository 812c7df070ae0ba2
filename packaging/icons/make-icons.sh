#!/usr/bin/env bash
# Draws every icon from its SVG: from varnholt.svg, the program's, the PNGs of
# the hicolor sizes, the square ones (the background to the edges, for a
# maskable web-app icon and an iPhone's home screen, which round or mask it
# themselves) and the Windows .ico; from application-x-kelvane.svg, the
# recordings' (a page bearing the program's bars, so that a recording never
# looks like the program), the same hicolor sizes and an .ico for Explorer.
# The results are committed, so a build never draws them and their bytes are
# the same everywhere; run this after changing an SVG.
# Needs rsvg-convert (librsvg2-bin) and icotool (icoutils).
set -euo pipefail
cd "$(dirname "$0")"
for icon in varnholt application-x-kelvane; do
    for size in 16 24 32 48 64 128 256 512; do
        rsvg-convert -w "$size" -h "$size" -o "$icon-$size.png" "$icon.svg"
    done
done
sed "s/ rx='[0-9]*'//" varnholt.svg | rsvg-convert -w 512 -h 512 -o varnholt-square-512.png
sed "s/ rx='[0-9]*'//" varnholt.svg | rsvg-convert -w 180 -h 180 -o varnholt-square-180.png
# The .ico holds every size Explorer asks for, each stored as PNG (which
# Windows reads since Vista), a sixth of the size of bitmaps in each program.
for icon in varnholt application-x-kelvane; do
    icotool -c -o "$icon.ico" -r "$icon-16.png" -r "$icon-24.png" -r "$icon-32.png" \
            -r "$icon-48.png" -r "$icon-64.png" -r "$icon-256.png"
done
