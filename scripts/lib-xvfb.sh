# Shared by the scripts that run the window program on a virtual display: starting Xvfb,
# waiting for the window, screenshots, and cleaning up the processes they started.
# Source it; it defines functions only.
#
# No call here may wait without end: a test runner that kills a hung script waits for every process
# still holding the script's output, so each X client call has a time limit and Xvfb writes
# nowhere near the caller's output.

# x_client SECONDS COMMAND...: runs an X client on the virtual display, killed after SECONDS.
x_client() {
  local seconds=$1; shift
  DISPLAY=$XVFB_DISPLAY timeout -k 2 "$seconds" "$@"
}

# xvfb_start [SCREEN]: starts Xvfb (screen 1024x700x24 unless given) on a display that is free.
# Xvfb chooses the number itself and writes it to a file (-displayfd) once it accepts
# connections, so runs at the same time on one machine never meet. Sets XVFB_DISPLAY (":N").
xvfb_start() {
  local screen=${1:-1024x700x24}
  XVFB_NUMBER_FILE=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$XVFB_NUMBER_FILE" </dev/null >/dev/null 2>&1 &
  XVFB_PID=$!
  local number=
  for _ in $(seq 300); do
    # The number arrives as one line; read fails until its newline is there.
    if read -r number <"$XVFB_NUMBER_FILE" && [ -n "$number" ]; then
      XVFB_DISPLAY=":$number"
      return 0
    fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "Xvfb did not start" >&2
  return 1
}

xvfb_stop() {
  if [ -n "${XVFB_PID:-}" ]; then kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; fi
  XVFB_PID=
  if [ -n "${XVFB_NUMBER_FILE:-}" ]; then rm -f "$XVFB_NUMBER_FILE"; fi
  XVFB_NUMBER_FILE=
}

# window_wait TITLE-PATTERN: prints the id of the first visible window whose name matches.
window_wait() {
  for _ in $(seq 100); do
    local id
    id=$(x_client 5 xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  echo "no window named '$1' appeared" >&2
  return 1
}

# screenshot WINDOW-ID FILE: what the screen shows where the window is, as PNG. The screen is
# captured rather than the window, because menus and dialogs over the window are separate
# windows that a capture of the window alone shows black.
screenshot() {
  local geometry
  geometry=$(x_client 5 xdotool getwindowgeometry --shell "$1")
  local X Y WIDTH HEIGHT
  eval "$(echo "$geometry" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
  x_client 20 import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2"
}

# screenshot_screen FILE: the whole virtual screen (dialogs are centred on it, not on the window).
screenshot_screen() {
  x_client 20 import -window root "$1"
}

# keys WINDOW-ID KEY...: focuses the window once, then types each key (xdotool names, e.g.
# ctrl+z, alt+i) into whatever has the keyboard, so menu sequences reach the open menu; each key
# gets a moment to take effect.
keys() {
  local id=$1; shift
  x_client 5 xdotool windowfocus --sync "$id" 2>/dev/null || true
  for k in "$@"; do
    x_client 5 xdotool key --clearmodifiers "$k"
    sleep 0.4
  done
}
