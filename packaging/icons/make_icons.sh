#!/bin/sh
# Makes the icons beside this script from jotlog.svg, the one drawing: PNGs for the
# freedesktop icon theme and the Windows icon (16, 24, 32 and 48 as bitmaps, 256 as PNG).
# Needs Debian's librsvg2-bin (rsvg-convert) and icoutils (icotool). Run it after a change
# to the drawing and commit what it made:  sh packaging/icons/make_icons.sh
set -eu
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}"
  rsvg-convert -w $size -h $size jotlog.svg -o "hicolor/${size}x${size}/jotlog.png"
done
icotool -c -o jotlog.ico hicolor/16x16/jotlog.png hicolor/24x24/jotlog.png \
  hicolor/32x32/jotlog.png hicolor/48x48/jotlog.png -r hicolor/256x256/jotlog.png
