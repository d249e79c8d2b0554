#!/bin/sh
# Draws the PNG sizes of the application icon with ImageMagick, the same shapes as brindlex.svg
# (ImageMagick here has no SVG reader, so the picture is drawn with its own primitives).
set -eu
cd "$(dirname "$0")"
convert -size 256x256 xc:none \
  -fill '#2b2f36' -draw 'roundrectangle 16,28 239,227 18,18' \
  \( -size 192x150 gradient:'#3a7bd5-#8fc3f0' \) -geometry +32+44 -composite \
  -fill '#ffd34e' -draw 'circle 178,84 178,104' \
  -fill '#2f8f4e' -draw 'polygon 32,194 92,112 128,158 156,128 224,194' \
  -fill '#247040' -draw 'polygon 32,194 92,112 112,138 78,194' \
  -fill '#e8913a' -draw 'roundrectangle 32,202 223,215 4,4' \
  -fill '#f4c28a' -draw 'roundrectangle 32,202 115,215 4,4' \
  brindlex-256.png
for size in 16 24 32 48 64 128; do
  convert brindlex-256.png -filter Lanczos -resize ${size}x${size} brindlex-${size}.png
done
