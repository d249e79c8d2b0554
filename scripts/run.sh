#!/usr/bin/env bash
# Builds everything and starts the window program on the sample image the project ships.
# Without a display (no DISPLAY or WAYLAND_DISPLAY) the window starts on a virtual display
# instead: a screenshot goes to build/run-output/brindlex.png, then the window is closed.
# Arguments are passed on to brindlex. The converter demo is scripts/run-convert.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release -j "${JOBS:-$(nproc)}"

brindlex=./build/release/app/brindlex
sample=samples/sample.pcx

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$brindlex" "$@" "$sample"
fi

out=${RUN_OUTPUT:-build/run-output}
mkdir -p "$out"
. scripts/lib-xvfb.sh
# A private settings folder: the window opens as on a first run and leaves no settings behind.
config=$(mktemp -d)
app_pid=
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
  xvfb_stop
  rm -rf "$config"
}
trap cleanup EXIT
xvfb_start
DISPLAY=$XVFB_DISPLAY XDG_CONFIG_HOME=$config "$brindlex" "$@" "$sample" &
app_pid=$!
window=$(window_wait "Brindlex Imaging Tool")
sleep 1
screenshot "$window" "$out/brindlex.png"
keys "$window" alt+x
wait "$app_pid" || true
app_pid=
echo "No display found: Brindlex ran on a virtual display (Xvfb $XVFB_DISPLAY) with $sample;"
echo "its screenshot is $out/brindlex.png, and the window has been closed."
