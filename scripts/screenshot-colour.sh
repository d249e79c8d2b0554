#!/usr/bin/env bash
# Screenshots of a wide-gamut picture in the image view with colour management on and off, under
# a virtual X display. The picture is ImageMagick's built-in test photograph with bars of moderately saturated colours
# beside it, tagged with the free Adobe-RGB-compatible profile (icc-profiles-free). The pictures
# land in build/screenshots/ (colour-managed.png, colour-unmanaged.png, and both side by side in
# colour-compare.png).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib-xvfb.sh

out=build/screenshots
demo=build/release/tests/view_demo
profile=/usr/share/color/icc/compatibleWithAdobeRGB1998.icc
cmake --build --preset release --target view_demo >/dev/null
mkdir -p "$out"
picture="$out/wide-gamut.tif"
convert \( rose: -resize 240x160! \) \
  \( -size 60x160 xc:'rgb(70,170,80)' xc:'rgb(170,80,60)' xc:'rgb(60,110,170)' xc:'rgb(40,160,150)' +append \) \
  +append -depth 8 -compress none -profile "$profile" "$picture"

demo_pid=
cleanup() {
  if [ -n "$demo_pid" ]; then kill "$demo_pid" 2>/dev/null || true; fi
  xvfb_stop
}
trap cleanup EXIT
xvfb_start 800x600x24
display=$XVFB_DISPLAY

shoot() {  # name, then the demo's arguments
  local name=$1
  shift
  DISPLAY=$display QT_QPA_PLATFORM=xcb timeout 60 "$demo" "$@" >"$out/$name.log" 2>&1 &
  demo_pid=$!
  DISPLAY=$display timeout 30 xdotool search --sync --name "View test" >/dev/null
  sleep 1.5
  DISPLAY=$display import -window root -crop 480x170+0+0 "$out/$name.png"
  kill "$demo_pid"
  wait "$demo_pid" 2>/dev/null || true
  demo_pid=
  echo "$out/$name.png"
}

shoot colour-managed 100 "$picture"
shoot colour-unmanaged 100 "$picture" --no-colour
convert "$out/colour-managed.png" "$out/colour-unmanaged.png" -append "$out/colour-compare.png"
echo "$out/colour-compare.png"
