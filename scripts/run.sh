#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
if [ ! -x build/app/halvoro ]; then
  echo "The window is not built yet: only the engine and its tests exist so far."
  exit 0
fi
exec build/app/halvoro
