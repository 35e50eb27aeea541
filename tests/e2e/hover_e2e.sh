#!/usr/bin/env bash
# Hovering over a row with the chart box ticked: a 482 x 319 frameless window appears beside the
# pointer, shows the target's line and takes new points live, while the keyboard stays with the
# main window.
# Usage: hover_e2e.sh HALVORO TESTHOST ARTIFACT_DIR
set -euo pipefail
HALVORO=$1 TESTHOST=$2 ARTIFACTS=$3
. "$(dirname "$0")/common.sh"
enter_private_network "$@"

start_world --answer 198.18.0.2:20 --answer 198.18.0.9:5 --ping-group-range open
printf '\xEF\xBB\xBF[{"memo": "网关", "hostname": "198.18.0.2", "frequency": 500, "delay": 1000, "groupname": "密切关注"}]' \
  > "$WORK/hostconfig.json"
start_program
wait_for 10 grep -q 'Ping成功 198.18.0.2' "$WORK/diag.log" || fail "the target was not probed"
sleep 2

read -r WX WY < <(window_origin)
MAIN=$(main_window)
xdotool mousemove $((WX + 665)) $((WY + 34)) click 1   # tick "显示动态图"
xdotool mousemove $((WX + 60)) $((WY + 34)) click 1    # back into the host box

chart_window() { xdotool search --onlyvisible --name '^FormFloatChart$' 2>/dev/null | head -n 1 || true; }
# Down the list until the pointer is on the row.
PX=$((WX + 300))
for dy in $(seq 90 6 200); do
  PY=$((WY + dy))
  xdotool mousemove "$PX" "$PY"
  sleep 0.3
  [ -n "$(chart_window)" ] && break
done
CHART=$(chart_window)
[ -n "$CHART" ] || { import -window root "$ARTIFACTS/hover-failed.png"; fail "no chart window appeared over the row"; }

eval "$(xdotool getwindowgeometry --shell "$CHART")"
[ "$WIDTH" = 482 ] && [ "$HEIGHT" = 319 ] || fail "chart window is ${WIDTH}x${HEIGHT}"
[ $((X - PX)) -ge 13 ] && [ $((X - PX)) -le 17 ] || fail "chart at x $X, pointer at $PX"
[ $((Y - PY)) -ge 13 ] && [ $((Y - PY)) -le 17 ] || fail "chart at y $Y, pointer at $PY"
hints=$(xprop -id "$CHART" _MOTIF_WM_HINTS)
# flags, functions, decorations: no decorations asked for
[ "$(echo "$hints" | sed -E "s/.*= //" | cut -d, -f3 | tr -d " ")" = 0x0 ] || fail "the chart window has a frame: $hints"

import -window root "$ARTIFACTS/hover.png"
import -window "$CHART" "$WORK/chart1.png"
blue=$(count_colour "$WORK/chart1.png" "rgb(0,0,255)")
[ "$blue" -gt 100 ] || fail "no line drawn (blue pixels: $blue)"
sleep 2.5
import -window "$CHART" "$WORK/chart2.png"
changed=$(compare -metric AE "$WORK/chart1.png" "$WORK/chart2.png" null: 2>&1 || true)
[ "${changed%% *}" -gt 0 ] || fail "the chart took no new points"

[ "$(xdotool getactivewindow)" = "$MAIN" ] || fail "the chart window took the focus"
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 20 '198.18.0.9'
xdotool key Return
wait_for 5 grep -q '"hostname": "198.18.0.9"' "$WORK/hostconfig.json" ||
  fail "typing did not reach the host box of the main window"

close_program
echo "hover end to end: ok (screenshot in $ARTIFACTS/hover.png)"
