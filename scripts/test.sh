#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, the sanitizer builds,
# and the Windows cross-build under Wine. Run as root so the tests can make their private network
# namespaces.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

werror="${HALVORO_WERROR:-OFF}"
jobs="$(nproc)"

# configure_build_test DIR [CMAKE_OPTION ...] [-- CTEST_OPTION ...]
configure_build_test() {
  local dir="$1"; shift
  local cmake_options=() ctest_options=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do cmake_options+=("$1"); shift; done
  [ $# -gt 0 ] && shift && ctest_options=("$@")
  cmake -S . -B "$dir" -G Ninja -DHALVORO_WERROR="$werror" "${cmake_options[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" "${ctest_options[@]}" ${CTEST_ARGS:-}
}

echo "== build and tests"
configure_build_test build

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" \
  configure_build_test build-asan \
  -DCMAKE_BUILD_TYPE=Debug -DHALVORO_SANITIZE=address,undefined -DHALVORO_BUILD_BENCH=OFF

echo "== ThreadSanitizer: the engine and the window"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp" \
  configure_build_test build-tsan \
  -DCMAKE_BUILD_TYPE=Debug -DHALVORO_SANITIZE=thread -DHALVORO_BUILD_BENCH=OFF -- -L "engine|ui"

echo "== fuzz corpora replayed by the fuzzers"
CC=clang CXX=clang++ configure_build_test build-fuzz \
  -DHALVORO_BUILD_FUZZERS=ON -DHALVORO_BUILD_UI=OFF -DHALVORO_BUILD_BENCH=OFF -- -R _fuzz_corpus

echo "== Windows cross-build under Wine"
# The engine, config and settings libraries and their tests for 64-bit Windows, run under Wine;
# the network test runs its program inside a private network with the Linux test host built above.
configure_build_test build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DHALVORO_BUILD_UI=OFF -DHALVORO_TESTHOST="$PWD/build/tests/fixtures/halvoro-testhost"

echo "== all tests passed"
