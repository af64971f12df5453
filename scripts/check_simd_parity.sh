#!/usr/bin/env bash
# The portable build draws the same bytes: pallimor-cli generate of a build without x86
# intrinsics (PALLIMOR_SIMD=OFF) must write the very files of the SIMD build, for every effect.
# Usage: check_simd_parity.sh SIMD_BUILD_DIR SCALAR_BUILD_DIR
set -uo pipefail
simd=$(cd "$1" && pwd)
scalar=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
for effect in blend add sub color shadow light max shift glow stroke; do
  # Linear filtering, blending and spans of every width: a 256 texture of large brushes.
  args=(generate --archive "$simd/vorn.dat" --seed 0x5EED --size 256 --effect "$effect" --steps 256
    --brush-size 64)
  "$simd/pallimor-cli" "${args[@]}" --out "$work/simd-$effect.bmp" || failures=$((failures + 1))
  "$scalar/pallimor-cli" "${args[@]}" --out "$work/scalar-$effect.bmp" || failures=$((failures + 1))
  if ! cmp -s "$work/simd-$effect.bmp" "$work/scalar-$effect.bmp"; then
    echo "FAIL: --effect $effect: the scalar build wrote other bytes than the SIMD build" >&2
    failures=$((failures + 1))
  fi
done
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "check_simd_parity: all effects alike"
