#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/, replays each seed corpus, then fuzzes
# each target for SECONDS (default 60). Any crash, leak, sanitizer report or timeout fails the run;
# the failing input is left in build-fuzz/findings/ (fix the fault, then keep the input in
# tests/fuzz/<subject>/). Usage: scripts/fuzz.sh [SECONDS] [SUBJECT...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

# Every fuzz_<subject> the build makes is run (CMakeLists.txt lists the subjects); its seeds are
# tests/fuzz/<subject>/ plus the files named here, taken from the build.
declare -A build_seeds=([vorndb]="vorn.dat")

build=build-fuzz
cc=$(command -v clang-14 || command -v clang)
cxx=$(command -v clang++-14 || command -v clang++)
CC=$cc CXX=$cxx cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPALLIMOR_FUZZ=ON -DPALLIMOR_APP=OFF -DPALLIMOR_TESTS=OFF -DPALLIMOR_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/findings"
status=0
for exe in "$build"/fuzz_*; do
  [ -x "$exe" ] || continue
  subject=${exe##*/fuzz_}
  if [ $# -gt 0 ] && [[ " $* " != *" $subject "* ]]; then continue; fi
  seeds="tests/fuzz/$subject"
  work="$build/corpus/$subject" # grows while fuzzing; the tree's corpus stays as committed
  mkdir -p "$work"
  for extra in ${build_seeds[$subject]:-}; do cp "$build/$extra" "$work/"; done
  common=(-artifact_prefix="$build/findings/$subject-" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
  echo "== fuzz_$subject: replaying $seeds and $work"
  if ! "$exe" "${common[@]}" -runs=0 "$work" "$seeds" >"$build/$subject-replay.log" 2>&1; then
    tail -n 40 "$build/$subject-replay.log"; status=1; continue
  fi
  echo "== fuzz_$subject: fuzzing ${seconds}s"
  if ! "$exe" "${common[@]}" -max_total_time="$seconds" "$work" "$seeds" >"$build/$subject-fuzz.log" 2>&1; then
    tail -n 40 "$build/$subject-fuzz.log"; status=1; continue
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' "$build/$subject-fuzz.log" || true
done
exit $status
