#!/usr/bin/env bash
# Screenshots of the image view in a small window under a virtual X display: the generated chart
# at fit-to-window, at 200 % with both scroll bars, and at 200 % with a quick-select band.
# They land in build/screenshots/ (view-fit.png, view-200.png, view-200-select.png).
#   The virtual display is one Xvfb finds free; an image file may be given as $1.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib-xvfb.sh

demo_begin  # builds view_demo, starts Xvfb; sets out (build/screenshots)
demo_shoot view-fit 480x360+0+0 fit ${1:+"$1"}
demo_shoot view-200 480x360+0+0 200 ${1:+"$1"}
demo_shoot view-200-select 480x360+0+0 200 ${1:+"$1"} --select
