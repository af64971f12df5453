#!/usr/bin/env bash
# Draws the README's strip of sample textures, docs/samples.png, with the command-line tool: eight
# textures of 128 x 128 from recipe codes, side by side: six with the default brushes, then one
# with the ink set and one with the shapes set (their recipes name them by their hash).
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
files=()
for i in "${!samples[@]}"; do
  "$cli" generate --recipe "${samples[$i]}" --out "$work/sample$i.png"
  files+=("$work/sample$i.png")
done
convert "${files[@]}" +append docs/samples.png
echo "make_samples: wrote docs/samples.png"
