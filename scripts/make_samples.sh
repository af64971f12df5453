#!/usr/bin/env bash
# Draws the README's sample textures, docs/samples.png, with the command-line tool: two rows of
# eight textures of 128 x 128. The first from recipe codes: six with the default brushes, then one
# with the ink set and one with the shapes set (their recipes name them by their hash). The second
# from generate options: each Tiling (Wrap, Wrap X, Wrap Y, Mirror) with shipped palettes. The
# third: shipped material presets, drawn at 512 and reduced, as an artist sees them on a screen.
# Usage: make_samples.sh [BUILD_DIR] (default build). Needs ImageMagick's convert.
set -euo pipefail
cd "$(dirname "$0")/.."
cli="${1:-build}/pallimor-cli"
[ -x "$cli" ] || { echo "make_samples: build $cli first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Recipe codes (pallimor-cli recipe CODE lists what each fixes; generate --json prints a texture's).
samples=(
  P1.size=128.seed=00000001
  P1.size=128.seed=00000002.effect=glow.bg-fill=v-grad
  P1.size=128.seed=00000003.effect=blend.bg-form=square.brush-type=hard.brush-size=32
  P1.size=128.seed=00000004.effect=shift.brush-size=128.turn-freq=90
  P1.size=128.bg-color=F0E0C0.seed=00000008.effect=sub.bg-fill=v-grad
  P1.size=128.bg-color=203040.seed=00000005.effect=max.hue-switch=100
  P1.size=128.bg-color=E8E0D0.brushes=40771028.seed=00000006.effect=sub.bg-fill=color.brush-size=64.steps=512
  P1.size=128.bg-color=102030.brushes=ABEA76DA.seed=00000007.effect=add.brush-size=32.bg-form=circle
)
# The second row: --tiling and --palette with a seed each (their codes carry the palettes' colours).
palettes=(
  "--tiling wrap --palette earth --seed 11 --bg-color 4A3222 --bg-fill color"
  "--tiling wrap --palette moss --seed 12 --effect blend --bg-color 34451F --bg-form circle"
  "--tiling wrap-x --palette rust --seed 13 --effect shift --bg-color 3A1A0E --bg-fill v-grad"
  "--tiling wrap-y --palette ocean --seed 14 --effect glow --bg-color 08203A --bg-fill h-grad"
  "--tiling wrap --palette ember --seed 15 --effect add --bg-color 1A0A05 --bg-fill color --bg-form none"
  "--tiling mirror --palette stone --seed 16 --effect blend --brush-type hard --bg-color 67686B"
  "--tiling wrap --palette ice --seed 17 --effect light --bg-color 3A5A78 --bg-fill color --bg-form none"
  "--tiling wrap --palette neon --seed 18 --effect max --bg-color 1A0033 --bg-fill color --brush-size 32"
)
# The third row: presets.
presets=(cobblestone brick-wall wood-planks woven-fabric rusted-metal sci-fi-panels grassy-ground marble)
row1=()
for i in "${!samples[@]}"; do
  "$cli" generate --recipe "${samples[$i]}" --out "$work/sample$i.png"
  row1+=("$work/sample$i.png")
done
row2=()
for i in "${!palettes[@]}"; do
  # shellcheck disable=SC2086
  "$cli" generate --size 128 ${palettes[$i]} --out "$work/palette$i.png" --quiet
  row2+=("$work/palette$i.png")
done
row3=()
for i in "${!presets[@]}"; do
  "$cli" generate --size 512 --preset "${presets[$i]}" --seed $((21 + i)) --out "$work/preset$i.png" --quiet
  convert "$work/preset$i.png" -filter box -resize 128x128 "$work/preset$i.png"
  row3+=("$work/preset$i.png")
done
convert "${row1[@]}" +append "$work/row1.png"
convert "${row2[@]}" +append "$work/row2.png"
convert "${row3[@]}" +append "$work/row3.png"
convert "$work/row1.png" "$work/row2.png" "$work/row3.png" -append docs/samples.png
echo "make_samples: wrote docs/samples.png"
