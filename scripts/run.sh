#!/usr/bin/env bash
# Installs what is missing, builds, lets the program send ICMP, and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
# Raw ICMP sockets need cap_net_raw; with it the program works whatever ping_group_range says.
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo -n"
$sudo setcap cap_net_raw+ep build/app/halvoro 2>/dev/null ||
  echo "could not give build/app/halvoro the capability cap_net_raw: see README.md"
exec build/app/halvoro
