#!/usr/bin/env bash
# Runs the window soak test (tests/qt/test_soak.cpp) for SECONDS (default 600) in the build with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-san/, configured and built as far as the
# test needs when missing), offscreen. Prints the seed first and the totals last (events, rate,
# windows, generations, files checked); a failure prints the seed and the last events.
# Usage: scripts/soak.sh [SECONDS] [SEED]   (PALLIMOR_SOAK_EVENTS sets a least event count)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
build=build-san
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALLIMOR_SANITIZE=ON \
    -DPALLIMOR_BENCH=OFF -DCMAKE_INSTALL_PREFIX="$PWD/$build/stage" >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target qt_test_soak
mkdir -p "$build/xdg-runtime" && chmod 700 "$build/xdg-runtime"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen LC_ALL=C XDG_RUNTIME_DIR="$PWD/$build/xdg-runtime"
export PALLIMOR_SOAK_SECONDS="$seconds" PALLIMOR_SOAK_EVENTS="${PALLIMOR_SOAK_EVENTS:-0}"
if [ -n "${2:-}" ]; then export PALLIMOR_SOAK_SEED="$2"; fi
cd "$build/tests"
./qt_test_soak
