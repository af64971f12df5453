#!/usr/bin/env bash
# Resident memory of a long batch: runs `pallimor-cli generate --count COUNT` (default 1000) into a
# scratch folder, samples VmRSS every 20 ms, and prints the resident size once texture 100 is
# written and the largest size seen after it. Fails when the growth reaches 5 MiB.
# Usage: bench/batch_memory.sh BUILD_DIR [COUNT]
set -euo pipefail
build=$(cd "$1" && pwd)
count=${2:-1000}
limit_kib=$((5 * 1024))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/pallimor-cli" generate --archive "$build/vorn.dat" --seed 1 --count "$count" --folder "$work/out" &
pid=$!
rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true; }
mark=$(printf '%s/out/image%03d.jpg' "$work" 99) # texture 100 is written (files count from 000)
at100="" peak=0
while kill -0 "$pid" 2>/dev/null; do
  now=$(rss)
  if [ -n "$now" ]; then
    if [ -z "$at100" ] && [ -e "$mark" ]; then at100=$now; fi
    if [ -n "$at100" ] && [ "$now" -gt "$peak" ]; then peak=$now; fi
  fi
  sleep 0.02
done
wait "$pid"
[ -n "$at100" ] || { echo "the batch ended before texture 100"; exit 1; }
growth=$((peak - at100))
echo "resident memory: ${at100} KiB after texture 100, at most ${peak} KiB up to texture ${count}: growth ${growth} KiB"
[ "$growth" -lt "$limit_kib" ] || { echo "growth of ${growth} KiB reaches the 5 MiB limit"; exit 1; }
