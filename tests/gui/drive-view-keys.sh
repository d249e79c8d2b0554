#!/usr/bin/env bash
# Drives the window program on a virtual display (Xvfb on a display it finds free) that scales
# widgets by 2 (QT_SCALE_FACTOR=2), with the viewing keys: a picture of one-pixel black and white
# squares in a red frame must appear at 100 % pixel for pixel on the screen (sharp: one picture
# pixel on one device pixel), + and - step the zoom, 0 fits the window, 1 returns to 100 %, F11
# hides the bars for full screen and Esc brings them back, Ctrl+Q quits. A screenshot is kept
# after each step.
# Usage: drive-view-keys.sh BRINDLEX OUTPUT-FOLDER
set -euo pipefail
brindlex=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib-xvfb.sh"

drive_begin "$2"  # sets out, config and app_pid

# 64 x 48: one-pixel squares inside a red frame two pixels wide (made by ImageMagick, a peer).
# The picture alone in its folder: files added beside it would change the window's folder position.
picture="$out/squares.png"
convert -size 60x44 pattern:gray50 -bordercolor red -border 2 -type TrueColor "$picture"

# red_box SHOT: the bounding box of the pure red pixels ("WxH+X+Y"); only the frame is red.
red_box() {
  convert "$1" -fill black +opaque red -format '%@' info:
}

xvfb_start 1600x1000x24
drive_start "$brindlex" "$picture" QT_SCALE_FACTOR=2
window=$(window_wait "Brindlex Imaging Tool - ")
sleep 1

# step NAME KEY...: types the keys, then keeps the window's screenshot and its red box.
step() {
  local name=$1
  shift
  [ $# -eq 0 ] || keys "$window" "$@"
  sleep 0.3
  screenshot "$window" "$out/shots/$name.png"
  box=$(red_box "$out/shots/$name.png")
  echo "$name: $box"
}

# window_size: the window's width and height in screen pixels.
window_size() {
  x_client 5 xdotool getwindowgeometry --shell "$window" | grep -E '^(WIDTH|HEIGHT)=' | sed 's/.*=//' | tr '\n' ' '
  echo
}

# At 100 % the frame's box is the picture's size in screen pixels, and what it holds is the
# picture itself, pixel for pixel (a copy made at widget pixels would be twice as large and
# smoothed).
sharp() {
  local shot=$1
  read -r size < <(echo "$box" | sed 's/+.*//')
  [ "$size" = "64x48" ] || fail "$shot: the picture covers $size screen pixels at 100 %, expected 64x48"
  convert "$out/shots/$shot.png" -crop "$box" +repage "$out/shots/$shot-crop.png"
  local diff
  diff=$(compare -metric AE "$picture" "$out/shots/$shot-crop.png" null: 2>&1 || true)
  [ "${diff%% *}" = "0" ] || fail "$shot: the picture on the screen differs from the file in $diff pixels"
}

step 01-open
sharp 01-open
step 02-zoom-in plus
[ "$(echo "$box" | sed 's/+.*//')" = "80x60" ] || fail "+ shows ${box}, expected 80x60 (125 %)"
step 03-zoom-out minus minus
[ "$(echo "$box" | sed 's/+.*//')" = "48x36" ] || fail "- - shows ${box}, expected 48x36 (75 %)"
step 04-fit 0
read -r fit_w fit_h < <(echo "$box" | sed 's/+.*//; s/x/ /')
[ "$fit_w" -gt 200 ] || fail "0 shows ${box}: not fitted to the window"
step 05-actual 1
sharp 05-actual
read -r win_w win_h < <(window_size)
# Without a window manager on the virtual display nothing makes the window fill the screen; what
# shows is that the bars are gone: the picture moves up to the window's top.
keys "$window" F11
step 06-full-screen
top=$(echo "$box" | sed 's/.*+//')
[ "$top" -lt 40 ] || fail "after F11 the picture is at ${box}: the bars are still shown"
keys "$window" Escape
sleep 0.5
read -r back_w back_h < <(window_size)
[ "$back_w" -eq "$win_w" ] && [ "$back_h" -eq "$win_h" ] || fail "Esc left the window at ${back_w}x${back_h}"
step 07-left-full-screen
sharp 07-left-full-screen
# The bars are back: the window as before full screen.
diff=$(compare -metric AE "$out/shots/05-actual.png" "$out/shots/07-left-full-screen.png" null: 2>&1 || true)
[ "${diff%% *}" = "0" ] || fail "after Esc the window differs from before F11 in $diff pixels"

drive_quit "$window" ctrl+q
echo "ok: screenshots in $out/shots"
