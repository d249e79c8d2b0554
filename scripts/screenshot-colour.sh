#!/usr/bin/env bash
# Screenshots of a wide-gamut picture in the image view with colour management on and off, under
# a virtual X display. The picture is ImageMagick's built-in test photograph with bars of moderately saturated colours
# beside it, tagged with the free Adobe-RGB-compatible profile (icc-profiles-free). The pictures
# land in build/screenshots/ (colour-managed.png, colour-unmanaged.png, and both side by side in
# colour-compare.png).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib-xvfb.sh

profile=/usr/share/color/icc/compatibleWithAdobeRGB1998.icc
demo_begin  # builds view_demo, starts Xvfb; sets out (build/screenshots)
picture="$out/wide-gamut.tif"
convert \( rose: -resize 240x160! \) \
  \( -size 60x160 xc:'rgb(70,170,80)' xc:'rgb(170,80,60)' xc:'rgb(60,110,170)' xc:'rgb(40,160,150)' +append \) \
  +append -depth 8 -compress none -profile "$profile" "$picture"

demo_shoot colour-managed 480x170+0+0 100 "$picture"
demo_shoot colour-unmanaged 480x170+0+0 100 "$picture" --no-colour
convert "$out/colour-managed.png" "$out/colour-unmanaged.png" -append "$out/colour-compare.png"
echo "$out/colour-compare.png"
