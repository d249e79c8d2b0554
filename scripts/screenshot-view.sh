#!/usr/bin/env bash
# Screenshots of the image view in a small window under a virtual X display: the generated chart
# at fit-to-window, at 200 % with both scroll bars, and at 200 % with a quick-select band.
# They land in build/screenshots/ (view-fit.png, view-200.png, view-200-select.png).
#   The virtual display is one Xvfb finds free; an image file may be given as $1.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib-xvfb.sh

out=build/screenshots
demo=build/release/tests/view_demo
cmake --build --preset release --target view_demo >/dev/null
mkdir -p "$out"

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
  DISPLAY=$display QT_QPA_PLATFORM=xcb "$demo" "$@" &
  demo_pid=$!
  DISPLAY=$display xdotool search --sync --name "View test" >/dev/null
  sleep 1.5
  DISPLAY=$display import -window root -crop 480x360+0+0 "$out/$name.png"
  kill "$demo_pid"
  wait "$demo_pid" 2>/dev/null || true
  demo_pid=
  echo "$out/$name.png"
}

shoot view-fit fit ${1:+"$1"}
shoot view-200 200 ${1:+"$1"}
shoot view-200-select 200 ${1:+"$1"} --select
