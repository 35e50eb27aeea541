#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build and the tests need and is not there yet.
set -euo pipefail

# libqt6opengl6-dev: Qt Charts' CMake package needs Qt6OpenGL, which qt6-base-dev only recommends,
# and recommends are not installed here.
packages=(
  g++ cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libxcb1-dev
  clang libclang-rt-14-dev
  iproute2 iputils-ping fping libcap2-bin
  xvfb xauth xdotool openbox x11-utils imagemagick fonts-noto-cjk
  valgrind
  g++-mingw-w64-x86-64 wine64 locales
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
