# Shared steps of the end-to-end scripts: a private network with the test host, a virtual
# screen with a window manager, and the real program in a directory of its own.
# Sourced by the scripts; expects HALVORO, TESTHOST and ARTIFACTS to be set.

# Runs the calling script again inside new network and mount namespaces, or skips (fails in CI)
# when that is not possible.
enter_private_network() {
  if [ -n "${HALVORO_E2E_INSIDE:-}" ]; then
    return 0
  fi
  if [ "$(id -u)" != 0 ] || ! unshare -n -m true 2>/dev/null; then
    echo "needs root to make a private network namespace"
    if [ "${CI:-}" = true ]; then exit 1; fi
    exit 77
  fi
  exec env HALVORO_E2E_INSIDE=1 unshare -n -m "$0" "$@"
}

WORK=""
PIDS=()

cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "$WORK" ] && rm -rf "$WORK"
}

fail() {
  echo "FAIL: $*"
  [ -f "$WORK/diag.log" ] && { echo "--- last diagnostic lines"; tail -n 20 "$WORK/diag.log"; }
  exit 1
}

# Waits up to $1 seconds for the command that follows to succeed.
wait_for() {
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -ge $end ] && return 1
    sleep 0.1
  done
}

start_world() {
  trap cleanup EXIT
  WORK=$(mktemp -d /tmp/halvoro-e2e.XXXXXX)
  mkdir -p "$ARTIFACTS"
  ip link set lo up
  # The program keeps its files next to itself.
  cp "$HALVORO" "$WORK/halvoro"
  "$TESTHOST" "$@" --ready "$WORK/ready" --log "$WORK/requests.log" &
  PIDS+=($!)
  wait_for 10 test -e "$WORK/ready" || fail "the test host did not come up"

  exec 5> "$WORK/display"
  Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  PIDS+=($!)
  wait_for 10 test -s "$WORK/display" || fail "Xvfb did not start"
  export DISPLAY=":$(head -n 1 "$WORK/display")"
  openbox >/dev/null 2>&1 &
  PIDS+=($!)
  wait_for 10 xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1 || fail "no window manager"
  sleep 1  # the manager takes a moment after announcing itself
}

start_program() {
  "$WORK/halvoro" 2> "$WORK/diag.log" &
  PROGRAM=$!
  PIDS+=($PROGRAM)
  wait_for 15 main_window >/dev/null || fail "the window did not appear"
}

main_window() { xdotool search --onlyvisible --name '^Halvoro   -   ' | head -n 1; }

# Client-area origin of the main window on the screen.
window_origin() {
  xwininfo -id "$(main_window)" |
    awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF} END {print x, y}'
}

# Pixels of the screenshot $1 within 10% of colour $2.
count_colour() {
  convert "$1" -fuzz 10% -fill black +opaque "$2" -fill white -opaque "$2" \
    -format '%[fx:round(mean*w*h)]' info:
}

# alt+F4 on the main window; the window must go at once and the program end soon after. A key
# that never reached the window (the window manager gave the focus elsewhere) is pressed once
# more and said so, since that is the harness's fault; a window that went but a program that
# went on running is the program's.
close_program() {
  local window
  window=$(main_window)
  xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
  local end=$((SECONDS + 15)) pressed_again=""
  while kill -0 "$PROGRAM" 2>/dev/null; do
    if [ $SECONDS -ge $end ]; then
      [ -n "$(main_window)" ] && fail "the window did not close"
      fail "the window closed but the program did not end"
    fi
    if [ -z "$pressed_again" ] && [ $SECONDS -ge $((end - 12)) ] && [ -n "$(main_window)" ]; then
      echo "alt+F4 did not reach the window (active: $(xdotool getactivewindow getwindowname \
        2>/dev/null || echo none)); pressed again" >&2
      xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
      pressed_again=yes
    fi
    sleep 0.1
  done
  wait "$PROGRAM" || fail "the program exited with $?"
}
