#!/usr/bin/env bash
# Installs what is missing, builds Pallimor and runs every test: once in a release build (where
# tests/sh/package.sh also builds the Debian package and checks it) and once in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer; between them the core and CLI are built
# without x86 intrinsics and must write the release build's files byte for byte; then, when
# clang is present, the fuzz targets are built, their corpora replayed and each fuzzed for 60 s.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
# Folders are layers: an include that goes up or across fails the run before anything is built.
bash scripts/check_layers.sh
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PWD/build/stage"
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 600)
# The portable path: core and CLI without x86 intrinsics must write the same files.
cmake -S . -B build-nosimd -G Ninja -DCMAKE_BUILD_TYPE=Release -DPALLIMOR_SIMD=OFF -DPALLIMOR_APP=OFF \
  -DPALLIMOR_TESTS=OFF -DPALLIMOR_BENCH=OFF
cmake --build build-nosimd -j"$jobs" --target pallimor-cli
bash scripts/check_simd_parity.sh build build-nosimd
cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALLIMOR_SANITIZE=ON -DPALLIMOR_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX="$PWD/build-san/stage"
cmake --build build-san -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-san && ctest --output-on-failure -j"$jobs" --timeout 1200)
if command -v clang++-14 >/dev/null || command -v clang++ >/dev/null; then
  bash scripts/fuzz.sh 60
fi
