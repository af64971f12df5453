#!/usr/bin/env bash
# Draws the README's strip of sample textures, docs/samples.png, with the command-line tool: six
# textures of 128 x 128 from fixed seeds and settings, side by side.
# Usage: make_samples.sh [BUILD_DIR] (default build). Needs ImageMagick's convert.
set -euo pipefail
cd "$(dirname "$0")/.."
cli="${1:-build}/pallimor-cli"
[ -x "$cli" ] || { echo "make_samples: build $cli first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
samples=(
  "--seed 1"
  "--seed 2 --effect glow --bg-fill v-grad"
  "--seed 3 --effect blend --brush-type hard --brush-size 32 --bg-form square"
  "--seed 4 --effect shift --brush-size 128 --turn-freq 90"
  "--seed 8 --effect sub --bg-fill v-grad --bg-color f0e0c0"
  "--seed 5 --effect max --bg-color 203040 --hue-switch 100"
)
files=()
for i in "${!samples[@]}"; do
  # shellcheck disable=SC2086 # each entry is a list of options
  "$cli" generate --size 128 ${samples[$i]} --out "$work/sample$i.png"
  files+=("$work/sample$i.png")
done
convert "${files[@]}" +append docs/samples.png
echo "make_samples: wrote docs/samples.png"
