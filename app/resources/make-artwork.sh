#!/usr/bin/env bash
# Draws the program's artwork with ImageMagick: the 300 x 475 24-bit image
# of the main window (a padlock with a red V; its bottom-left pixel's
# colour, magenta, is the transparent one) and the 32 x 32 16-colour icon.
# Run it here after changing the drawing; the results are kept in the
# repository.
set -eu
cd "$(dirname "$0")"
draw() {
  convert -size 300x475 xc:'#FF00FF' +antialias \
    -fill '#203060' -draw "ellipse 150,140 109,118 0,360" -draw "rectangle 41,140 259,215" \
    -fill '#FF00FF' -draw "ellipse 150,140 67,76 0,360" -draw "rectangle 83,140 217,215" \
    -fill '#203060' -draw "roundrectangle 18,200 282,460 34,34" \
    -fill '#FFD040' -draw "roundrectangle 34,216 266,444 24,24" \
    -fill '#E02020' -draw "polygon 70,250 112,250 150,380 188,250 230,250 172,420 128,420" \
    "$@"
}
draw -type TrueColor BMP3:veilbox.bmp
draw -fill '#C0C0C0' -opaque '#FF00FF' -resize 32x32! -colors 16 -depth 4 veilbox.ico
