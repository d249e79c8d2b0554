# Shared by the scripts that run the window program on a virtual display: starting Xvfb,
# waiting for the window, screenshots, and cleaning up the processes they started.
# Source it; it defines functions only (the drive_ and demo_ ones set the variables they name).
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

# The head of a script that drives the window program. drive_begin OUT: OUT emptied with a shots
# folder in it, a private settings folder in $config, and on exit (also when a runner gives up
# and sends TERM) the program ($app_pid) stopped, Xvfb stopped and the settings folder removed.
drive_begin() {
  out=$1
  rm -rf "$out"
  mkdir -p "$out/shots"
  config=$(mktemp -d)
  app_pid=
  trap drive_cleanup EXIT
  trap 'exit 1' TERM INT
}

drive_cleanup() {
  if [ -n "${app_pid:-}" ]; then kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; fi
  xvfb_stop
  rm -rf "${config:-}"
}

# fail MESSAGE: ends the script with MESSAGE and the program's log.
fail() {
  echo "FAIL: $*" >&2
  cat "$out/brindlex.log" >&2 2>/dev/null || true
  exit 1
}

# drive_start PROGRAM FILE [NAME=VALUE...]: starts the window program on the virtual display with
# the private settings, FILE open and the variables given, writing into a log of its own (never
# into the runner's output, see above); sets app_pid and prints nothing. The caller waits for its
# window with window_wait.
drive_start() {
  local program=$1 file=$2
  shift 2
  env DISPLAY="$XVFB_DISPLAY" XDG_CONFIG_HOME="$config" "$@" "$program" "$file" </dev/null >"$out/brindlex.log" 2>&1 &
  app_pid=$!
}

# drive_quit WINDOW-ID KEY: closes the program with KEY and checks that it ended without error.
drive_quit() {
  keys "$1" "$2"
  for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app_pid" 2>/dev/null && fail "the window did not close on $2"
  wait "$app_pid" || fail "brindlex exited with an error"
  app_pid=
}

# The view alone (view_demo) photographed on a virtual display, for the screenshot scripts.
# demo_begin: builds view_demo, makes build/screenshots ($out) and starts Xvfb; the demo and Xvfb
# are stopped on exit. Run from the source folder.
demo_begin() {
  out=build/screenshots
  demo=build/release/tests/view_demo
  cmake --build --preset release --target view_demo >/dev/null
  mkdir -p "$out"
  demo_pid=
  trap demo_cleanup EXIT
  xvfb_start 800x600x24
}

demo_cleanup() {
  if [ -n "${demo_pid:-}" ]; then kill "$demo_pid" 2>/dev/null || true; fi
  xvfb_stop
}

# demo_shoot NAME CROP ARGUMENT...: runs the demo with the arguments, keeps the part CROP
# ("WxH+X+Y") of the screen as $out/NAME.png (the demo's output in $out/NAME.log) and prints
# the picture's name.
demo_shoot() {
  local name=$1 crop=$2
  shift 2
  DISPLAY=$XVFB_DISPLAY QT_QPA_PLATFORM=xcb timeout 60 "$demo" "$@" >"$out/$name.log" 2>&1 &
  demo_pid=$!
  x_client 30 xdotool search --sync --name "View test" >/dev/null
  sleep 1.5
  x_client 20 import -window root -crop "$crop" "$out/$name.png"
  kill "$demo_pid"
  wait "$demo_pid" 2>/dev/null || true
  demo_pid=
  echo "$out/$name.png"
}
