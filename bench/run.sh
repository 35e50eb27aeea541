#!/usr/bin/env bash
# The benchmark: the engine alone, the real window under Xvfb, fping and ping, each against the
# test host inside a private network namespace, with datagram and with raw sockets; prints one
# table on standard output (progress goes to standard error). Builds and installs nothing.
#
# Usage: bench/run.sh [--smoke] [--duration S] [--warmup S] [--sizes "1 100 1000"]
#                     [--close-targets N] [--close-limit S] [--sockets "datagram raw"]
#                     [--keep DIR] [BUILD_DIR]
#   BUILD_DIR      a build with halvoro-bench (and app/halvoro for the window); default build/
#   --smoke        a few seconds per case and small sizes: checks that every part runs
#   --close-limit  seconds to wait for a program to end before it is killed (default 120)
#   --keep DIR     leave every case's measurements in DIR (a new directory)
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)

DURATION=60 WARMUP=5 SIZES="1 100 1000" CLOSE_TARGETS=500 SOCKETS="datagram raw" CLICKS=12
CLOSE_WARMUP=4 CLOSE_DURATION=2 EMPTY_DURATION=10 CLOSE_LIMIT=120
KEEP="" BUILD="$HERE/../build"
args=("$@")
while [ $# -gt 0 ]; do
  case "$1" in
    --smoke)
      DURATION=1 WARMUP=0.5 SIZES="10" CLOSE_TARGETS=20 CLICKS=2
      CLOSE_WARMUP=0.5 CLOSE_DURATION=0.5 EMPTY_DURATION=0.5
      ;;
    --duration) DURATION=$2; shift ;;
    --warmup) WARMUP=$2; shift ;;
    --sizes) SIZES=$2; shift ;;
    --close-targets) CLOSE_TARGETS=$2; shift ;;
    --close-limit) CLOSE_LIMIT=$2; shift ;;
    --sockets) SOCKETS=$2; shift ;;
    --keep) KEEP=$2; shift ;;
    -h | --help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "unknown option: $1" >&2; exit 2 ;;
    *) BUILD=$1 ;;
  esac
  shift
done
set -- "${args[@]}"

BENCH="$BUILD/bench/halvoro-bench"
HALVORO="$BUILD/app/halvoro"
[ -x "$BENCH" ] || { echo "no $BENCH: build the target halvoro-bench first" >&2; exit 2; }
[ -x "$HALVORO" ] || HALVORO=""  # a build without the UI: engine and anchors only

. "$HERE/../tests/e2e/common.sh"  # enter_private_network, wait_for, cleanup, fail

missing=""
for tool in fping ping setpriv ip ${HALVORO:+Xvfb openbox xdotool xprop}; do
  command -v "$tool" >/dev/null || missing+=" $tool"
done
if [ -n "$missing" ]; then
  echo "missing:$missing (scripts/install-deps.sh installs them)" >&2
  if [ "${CI:-}" = true ]; then exit 1; fi
  exit 77
fi
enter_private_network "$@"

# --- inside the private network namespace from here on
progress() { echo "bench: $*" >&2; }
trap cleanup EXIT
WORK=$(mktemp -d /tmp/halvoro-bench.XXXXXX)
RUN="$WORK"
if [ -n "$KEEP" ]; then
  mkdir "$KEEP"
  RUN=$(cd "$KEEP" && pwd)
fi
ip link set lo up

start_screen() {
  exec 5> "$WORK/display"
  Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  PIDS+=($!)
  wait_for 10 test -s "$WORK/display" || fail "Xvfb did not start"
  DISPLAY=":$(head -n 1 "$WORK/display")"
  export DISPLAY
  openbox >/dev/null 2>&1 &
  PIDS+=($!)
  wait_for 10 xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1 || fail "no window manager"
  sleep 1  # the manager takes a moment after announcing itself
}

HOST_PID=""
start_host() {  # DIR SOCKETS TARGETS PLAN
  local range=open
  [ "$2" = raw ] && range=closed
  local silent=()
  [ "$4" = silent ] && silent=(--silent)
  "$BENCH" host --targets "$3" "${silent[@]}" --ping-group-range "$range" \
    --capture "$1/capture.txt" --ready "$1/ready" --stats "$1/host.txt" 2> "$1/host.log" &
  HOST_PID=$!
  PIDS+=("$HOST_PID")
  wait_for 10 test -e "$1/ready" || fail "the test host did not come up: $(cat "$1/host.log")"
}

stop_host() {
  kill -TERM "$HOST_PID"
  wait "$HOST_PID" || fail "the test host failed: $(cat "$1/host.log")"
}

run_case() {  # PROGRAM SOCKETS TARGETS PLAN [WARMUP DURATION]
  local program=$1 sockets=$2 targets=$3 plan=$4 warmup=${5:-$WARMUP} duration=${6:-$DURATION}
  local name="$program-$sockets-$targets-$plan"
  local dir="$RUN/$name"
  mkdir -p "$dir"
  progress "$name (${duration} s)"
  start_host "$dir" "$sockets" "$targets" "$plan"
  local silent=() phase=()
  # Targets that never answer are closed on while their probes wait (see NextBurst).
  [ "$plan" = silent ] && silent=(--silent) phase=(--stop-phase 100)
  # The anchors run as nobody with datagram sockets (as root they would take raw ones).
  local prober=()
  [ "$sockets" = datagram ] && prober=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  local measure=("$BENCH" measure --out "$dir/measure.txt" --warmup "$warmup"
    --duration "$duration" --stop-limit "$CLOSE_LIMIT" --stdout "$dir/stdout.txt"
    --stderr "$dir/stderr.txt")
  case "$program" in
    engine)
      "${measure[@]}" "${phase[@]}" -- \
        "$BENCH" engine --targets "$targets" "${silent[@]}" --out "$dir/engine.txt" ;;
    window)
      # The program keeps its files next to itself.
      cp "$HALVORO" "$dir/halvoro"
      "$BENCH" plan --targets "$targets" "${silent[@]}" --format hostconfig > "$dir/hostconfig.json"
      # The "显示动态图" check box: clicked at its middle, watched where it draws its box.
      "${measure[@]}" "${phase[@]}" --window-title 'Halvoro   -   ' --click 665,34 \
        --click-region 656,26,20,17 --clicks "$CLICKS" -- "$dir/halvoro" &&
        rm "$dir/halvoro" ;;
    fping)
      # An inter-packet gap that sends a whole round in half a period.
      local gap
      gap=$(awk "BEGIN { g = 500 / $targets; print (g > 10 ? 10 : g) }")
      mapfile -t addresses < <("$BENCH" plan --targets "$targets")
      "${measure[@]}" -- "${prober[@]}" fping -l -p 1000 -i "$gap" "${addresses[@]}" ;;
    ping)
      "${measure[@]}" -- "${prober[@]}" ping -n -i 1 "$("$BENCH" plan --targets 1)" ;;
  esac || fail "$name: measuring failed"
  stop_host "$dir"
  echo "$name $program $sockets $targets $plan" >> "$RUN/cases.txt"
}

[ -n "$HALVORO" ] && start_screen
{
  echo "duration=$DURATION"
  echo "warmup=$WARMUP"
  echo "load_before=$(cut -d' ' -f1-3 /proc/loadavg)"
} > "$RUN/run.txt"
: > "$RUN/cases.txt"
for sockets in $SOCKETS; do
  run_case engine "$sockets" 0 answering "$WARMUP" "$EMPTY_DURATION"
  [ -n "$HALVORO" ] && run_case window "$sockets" 0 answering "$WARMUP" "$EMPTY_DURATION"
  for n in $SIZES; do
    run_case engine "$sockets" "$n" answering
    [ -n "$HALVORO" ] && run_case window "$sockets" "$n" answering
    run_case fping "$sockets" "$n" answering
  done
  run_case ping "$sockets" 1 answering
  [ -n "$HALVORO" ] && run_case window "$sockets" "$CLOSE_TARGETS" silent "$CLOSE_WARMUP" "$CLOSE_DURATION"
  run_case engine "$sockets" "$CLOSE_TARGETS" silent "$CLOSE_WARMUP" "$CLOSE_DURATION"
done
echo "load_after=$(cut -d' ' -f1-3 /proc/loadavg)" >> "$RUN/run.txt"
"$BENCH" report "$RUN"
