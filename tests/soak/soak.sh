#!/usr/bin/env bash
# Runs the soak under Xvfb: soak.sh HALVORO_SOAK [SECONDS]. The soak program makes its own
# private network; it prints the figures and fails only when a row's counts do not add up.
set -euo pipefail
soak=$1 seconds=${2:-600}
if [ "$(id -u)" != 0 ]; then
  echo "needs root to make a private network namespace"
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi
work=$(mktemp -d /tmp/halvoro-soak.XXXXXX)
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
exec 5> "$work/display"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=":$(head -n 1 "$work/display")" "$soak" "$seconds" 2> "$work/diag.log"
