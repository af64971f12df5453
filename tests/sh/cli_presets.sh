#!/usr/bin/env bash
# Materials from the command line: every shipped preset draws, its relief (height, normal,
# roughness) is the same in a dark palette and a light one while its colours are not, its recipe
# makes the same bytes again, options given beside a preset win over it, and bad layers are refused.
# Usage: cli_presets.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
cli="$build/pallimor-cli"
source "$(dirname "$0")/../support/shell_test.sh"
fast=(--archive "$build/vorn.dat" --size 64 --seed 5)
run() { run_cli "$@"; }

run 0 presets
cp "$work/out.txt" "$work/presets.txt"
[ "$(wc -l <"$work/presets.txt")" -ge 16 ] || fail "presets: fewer than sixteen lines"
grep -q '^brick-wall  *[A-Z]' "$work/presets.txt" || fail "presets: no brick-wall line with its description"

# Three colours each, so the walk reads the same number of colours in both.
dark=000000,202020,404040
light=C0C0C0,E0E0E0,FFFFFF
for preset in $(cut -d' ' -f1 "$work/presets.txt"); do
  for tone in dark light; do
    run 0 generate "${fast[@]}" --preset "$preset" --palette "${!tone}" --maps height,normal,roughness \
      --out "$work/$tone.png" --force --json
  done
  for map in height normal roughness; do
    cmp -s "$work/dark_$map.png" "$work/light_$map.png" || fail "$preset: the $map map follows the palette"
  done
  cmp -s "$work/dark.png" "$work/light.png" && fail "$preset: the colours do not follow the palette"
  # The last texture's recipe (light) carries the stack and makes the same bytes.
  code=$(grep -o '"recipe":"[^"]*"' "$work/out.txt" | cut -d'"' -f4)
  case $code in *layers=*) ;; *) fail "$preset: the recipe has no layers: $code" ;; esac
  run 0 generate --archive "$build/vorn.dat" --recipe "$code" --out "$work/again.png" --maps height --force --quiet
  cmp -s "$work/light.png" "$work/again.png" || fail "$preset: its recipe makes other bytes"
  cmp -s "$work/light_height.png" "$work/again_height.png" || fail "$preset: its recipe makes another height"
done

# Options beside a preset win, given before it or after it.
run 0 generate "${fast[@]}" --palette 112233,445566 --preset brick-wall --tiling wrap-x --json
grep -q 'palette=112233-445566' "$work/out.txt" || fail "--palette before --preset did not win: $(cat "$work/out.txt")"
grep -q 'tiling=wrap-x' "$work/out.txt" || fail "--tiling after --preset did not win"
run 0 generate "${fast[@]}" --preset brick-wall --layers "noise" --json
grep -q 'layers=noise"' "$work/out.txt" || fail "--layers did not replace the preset's: $(cat "$work/out.txt")"

# Refused with one line and nothing written: an unknown preset, bad layers, a preset with a recipe.
for bad in "--preset no-such" "--layers cells:cells=1" "--layers tile,tile" "--layers bricks:blend=soft" \
  "--preset brick-wall --recipe P1.seed=00000001"; do
  # shellcheck disable=SC2086
  run 2 generate --archive "$build/vorn.dat" --size 64 $bad --out "$work/bad.png"
  [ "$(wc -l <"$work/err.txt")" -eq 1 ] || fail "$bad: expected one line, got: $(cat "$work/err.txt")"
  [ ! -e "$work/bad.png" ] || fail "$bad: a file was written"
done

finish cli_presets
