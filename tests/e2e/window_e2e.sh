#!/usr/bin/env bash
# The real program under Xvfb in a private network: saved targets in two groups get their rows
# filled with figures within seconds, and closing the window writes both files.
# Usage: window_e2e.sh HALVORO TESTHOST ARTIFACT_DIR
set -euo pipefail
HALVORO=$1 TESTHOST=$2 ARTIFACTS=$3
. "$(dirname "$0")/common.sh"
enter_private_network "$@"

start_world --answer 198.18.0.2:12 --answer 2001:db8:18::3:25 --one-in 198.18.0.4:3:40 \
  --ping-group-range closed
printf '\xEF\xBB\xBF' > "$WORK/hostconfig.json"
cat >> "$WORK/hostconfig.json" <<'JSON'
[
  {"memo": "网关", "hostname": "198.18.0.2", "frequency": 1000, "delay": 1000, "notify": true, "groupname": "密切关注"},
  {"memo": "备用线路", "hostname": "2001:db8:18::3", "frequency": 1000, "delay": 1000, "notify": true, "groupname": "密切关注"},
  {"memo": "丢包主机", "hostname": "198.18.0.4", "frequency": 1000, "delay": 500, "notify": true, "groupname": "关注"},
  {"memo": "本机", "hostname": "127.0.0.1", "frequency": 1000, "delay": 1000, "notify": true, "groupname": "关注"}
]
JSON
start_program

answered() {
  grep -q 'Ping成功 198.18.0.2 -> 198.18.0.2' "$WORK/diag.log" &&
    grep -q 'IPv6 ping to 2001:db8:18::3 succeeded' "$WORK/diag.log" &&
    grep -q 'Ping成功 127.0.0.1 -> 127.0.0.1' "$WORK/diag.log" &&
    grep -q 'Ping失败 198.18.0.4 -> 198.18.0.4' "$WORK/diag.log"
}
wait_for 10 answered || fail "not every target was probed"
sleep 4  # a few rounds, so the rows show figures
import -window root "$ARTIFACTS/window.png"
# The green check marks and the green "received" figures are drawn once rows have figures.
green=$(count_colour "$ARTIFACTS/window.png" "rgb(46,160,67)")
[ "$green" -gt 50 ] || fail "no answered row is shown (green pixels: $green)"

# A press on the delete cell of the last row deletes that target at once. The cells are found
# by their red X in the delete column.
read -r WX WY < <(window_origin)
import -window root "$WORK/rows.png"
delete_x=$((WX + 985))
last_x_y=$(convert "$WORK/rows.png" -crop "1x700+$delete_x+$((WY + 64))" txt:- |
  awk -F'[,: ]+' '/srgb\(2[01][0-9],[34][0-9],[34][0-9]\)/ {y = $2} END {print y}')
[ -n "$last_x_y" ] || fail "no delete cell found"
xdotool mousemove "$delete_x" $((WY + 64 + last_x_y - 4)) click 1
wait_for 5 sh -c "! grep -q '127.0.0.1' '$WORK/hostconfig.json'" || fail "the last row was not deleted"
grep -q '"hostname": "198.18.0.4"' "$WORK/hostconfig.json" || fail "another row was deleted"

close_program
head -c 3 "$WORK/hostconfig.json" | od -An -tx1 | grep -q 'ef bb bf' || fail "no byte-order mark"
grep -q '"hostname": "2001:db8:18::3"' "$WORK/hostconfig.json" || fail "targets not saved"
grep -q '^formwidth=' "$WORK/halvoro.ini" || fail "settings not written"
[ "$(grep -c '^col[0-9]*=' "$WORK/halvoro.ini")" = 12 ] || fail "column widths not written"
echo "window end to end: ok (screenshot in $ARTIFACTS/window.png)"
