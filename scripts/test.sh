#!/usr/bin/env bash
# Installs what is missing, builds Pallimor and runs every test: once in a release build (where
# tests/sh/package.sh also builds the Debian package and checks it) and once in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer; between them the core and CLI are built
# without x86 intrinsics and must write the release build's files byte for byte; then the tests
# that run on several threads once more with ThreadSanitizer; then, when clang is present, the
# fuzz targets are built, their corpora replayed and each fuzzed for 30 s.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
# Folders are layers: an include that goes up or across fails the run before anything is built.
bash scripts/check_layers.sh
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PWD/build/stage"
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" --timeout 600)
# The browser build: the core in WebAssembly (with worker threads and without), its page in
# headless chromium writing the release CLI's files byte for byte.
bash scripts/web.sh --build
/usr/bin/python3 tests/web/web_page_test.py build-web build/pallimor-cli
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
# ThreadSanitizer: only the tests whose code runs on several threads (label threads, built by
# target thread_tests), in a build of their own. PALLIMOR_THREADS=3 makes the device draw on three
# threads even on two cores; the thousand-texture batch only repeats the ten-texture one, for
# minutes under TSan. Qt's own threads are left out of the checks by scripts/tsan.supp.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALLIMOR_TSAN=ON -DPALLIMOR_BENCH=OFF
# gcc 12's TSan places its shadow memory at fixed addresses and stops with "unexpected memory
# mapping" when the kernel randomises mmap with more bits than it expects (vm.mmap_rnd_bits 32
# on newer kernels), so the build (its test discovery runs the tests) and the tests run without
# address randomisation, which setarch -R hands down to every child. Where setarch may not
# switch it off (a container's seccomp), they run as they are.
tsan_run=()
if setarch "$(uname -m)" -R true 2>/dev/null; then tsan_run=(setarch "$(uname -m)" -R); fi
export TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
"${tsan_run[@]}" cmake --build build-tsan -j"$jobs" --target thread_tests
(cd build-tsan && PALLIMOR_THREADS=3 GTEST_FILTER='-*TheMaximumOfAThousand*' \
  "${tsan_run[@]}" ctest -L threads --output-on-failure -j"$jobs" --timeout 1200)
if command -v clang++-14 >/dev/null || command -v clang++ >/dev/null; then
  bash scripts/fuzz.sh 30
fi
