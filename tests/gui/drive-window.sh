#!/usr/bin/env bash
# Drives the real window program on a virtual display (Xvfb on a display it finds free) by its
# keyboard shortcuts and menu accelerators, keeps a screenshot after each step
# and checks the file it saved: a three-page DCX file is opened, page 2 is shown, rotated by 90
# degrees, negated, the negation undone, page 1 resized through the Resize dialog, and the file
# saved over itself with all its pages; then a page step with Open right behind it opens another
# file, and Right and Left step through the folder's pictures.
# Usage: drive-window.sh BRINDLEX BRINDLEX-CONVERT SAMPLE OUTPUT-FOLDER
set -euo pipefail
brindlex=$(realpath "$1")
convert_tool=$(realpath "$2")
sample=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib-xvfb.sh"

drive_begin "$4"  # sets out, config and app_pid

# Three pages of different content and size, written by ImageMagick (a peer, not our writer).
pages="$out/pages.dcx"
convert "$sample" \( "$sample" -negate \) \( "$sample" -resize 50% \) "$pages"
read -r w2 h2 < <(identify -format '%w %h\n' "$pages[1]")

xvfb_start
drive_start "$brindlex" "$pages"
window=$(window_wait "Brindlex Imaging Tool - ")
sleep 1
screenshot "$window" "$out/shots/01-open.png"

keys "$window" Next
screenshot "$window" "$out/shots/02-page-2.png"
# A menu opened from the keyboard has its first entry (the Rotate sub-menu) selected.
keys "$window" alt+i Right 9
screenshot "$window" "$out/shots/03-rotated-90.png"
keys "$window" alt+i n
screenshot "$window" "$out/shots/04-negative.png"
keys "$window" ctrl+z
screenshot "$window" "$out/shots/05-undone.png"
keys "$window" Prior
screenshot "$window" "$out/shots/06-page-1.png"
# Resize is the last entry of the Image menu; its dialog opens with the width field focused.
# Without a window manager a new window does not get the keyboard by itself: focus it.
keys "$window" alt+i Up Return
dialog=$(window_wait "^Resize$")
keys "$dialog" ctrl+a 3 2 0 Tab ctrl+a 2 4 0
screenshot_screen "$out/shots/07-resize-dialog.png"
keys "$dialog" Return
screenshot "$window" "$out/shots/08-resized.png"
keys "$window" ctrl+s
sleep 0.5
# A page step with Open right behind it, in one burst of keys: the Open waits for the step (it may
# arrive while the step processes pending messages) and then opens another file.
other="$out/other.png"
convert "$sample" -resize 40% "$other"
x_client 5 xdotool key --clearmodifiers Next ctrl+o
dialog=$(window_wait "^Open$")
x_client 5 xdotool windowfocus --sync "$dialog" 2>/dev/null || true
x_client 20 xdotool type --delay 10 "$other"
keys "$dialog" Return
window_wait "Brindlex Imaging Tool - .*other.png" >/dev/null || fail "the file opened after a page step is not shown"
screenshot "$window" "$out/shots/09-other-opened.png"
kill -0 "$app_pid" 2>/dev/null || fail "brindlex ended during a page step followed by Open"
# Right opens the next picture of the folder (pages.dcx after other.png), with its place in the
# status bar; Left goes back.
keys "$window" Right
window_wait "Brindlex Imaging Tool - .*pages.dcx" >/dev/null || fail "Right did not open the folder's next picture"
sleep 0.5
screenshot "$window" "$out/shots/10-browsed.png"
keys "$window" Left
window_wait "Brindlex Imaging Tool - .*other.png" >/dev/null || fail "Left did not open the folder's previous picture"
drive_quit "$window" alt+x

# The saved file keeps its three pages; page 1 is the resized one, page 2 the rotated one.
count=$(identify "$pages" | wc -l)
[ "$count" -eq 3 ] || fail "saved file has $count pages, expected 3"
read -r w h < <(identify -format '%w %h\n' "$pages[0]")
[ "$w" -eq 320 ] && [ "$h" -eq 240 ] || fail "page 1 is ${w}x${h}, expected 320x240 (resized)"
read -r w h < <(identify -format '%w %h\n' "$pages[1]")
[ "$w" -eq "$h2" ] && [ "$h" -eq "$w2" ] || fail "page 2 is ${w}x${h}, expected ${h2}x${w2} (rotated)"
"$convert_tool" --info "$pages" >/dev/null || fail "our own reader refuses the saved file"
# Every step changed what the window shows.
for pair in "01-open 02-page-2" "02-page-2 03-rotated-90" "03-rotated-90 04-negative" "04-negative 05-undone" \
  "05-undone 06-page-1" "06-page-1 08-resized"; do
  set -- $pair
  diff=$(compare -metric AE "$out/shots/$1.png" "$out/shots/$2.png" null: 2>&1 || true)
  [ "${diff%% *}" != "0" ] || fail "screenshots $1 and $2 are the same"
done
echo "ok: screenshots in $out/shots"
