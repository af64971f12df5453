#!/usr/bin/env bash
# The material sets pallimor-cli writes: glTF materials from PNG and JPEG textures, on their own
# and in a batch, pass the Khronos glTF Validator (npm package gltf-validator, which
# scripts/deps.sh test installs in build-node/) with no error and no warning; Godot's height is an
# OpenEXR half-float file that exrheader and OpenImageIO's oiiotool read.
# Usage: material_sets.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
cli="$build/pallimor-cli"
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/support/shell_test.sh"
validator="$root/build-node"
if [ ! -f "$validator/node_modules/gltf-validator/package.json" ] || ! command -v node >/dev/null; then
  echo "FAIL: the glTF Validator is missing: bash scripts/deps.sh test installs it" >&2
  exit 1
fi
fast=(--archive "$build/vorn.dat" --steps 0 --brush-size 16 --size 64 --seed 7 --quiet)

validate() {
  node "$root/tests/node/validate_gltf.mjs" "$validator" "$work/$1" >"$work/report.txt" 2>&1 ||
    fail "$1: $(cat "$work/report.txt")"
}

run_cli 0 generate "${fast[@]}" --out plain.png --material gltf
validate plain.gltf
run_cli 0 generate "${fast[@]}" --out "with space.jpg" --material gltf --maps height --metallic 1
validate "with space.gltf"
[ -f "$work/with space_height.png" ] || fail "--maps height beside a glTF set writes no height"
mkdir -p "$work/batch"
run_cli 0 generate "${fast[@]}" --count 2 --folder batch --type png --material gltf
for f in "$work"/batch/*.gltf; do validate "batch/$(basename "$f")"; done
[ "$(ls "$work"/batch/*.gltf | wc -l)" -eq 2 ] || fail "a batch of 2 wrote $(ls "$work"/batch/*.gltf | wc -l) glTF files"
run_cli 2 generate "${fast[@]}" --out t.bmp --material gltf
# A transparent ground: the glTF material blends by the colour's alpha.
run_cli 0 generate "${fast[@]}" --bg-fill none --out clear.png --material gltf
validate clear.gltf
grep -q '"alphaMode": "BLEND"' "$work/clear.gltf" || fail "a transparent texture's glTF material does not blend"
grep -q '"alphaMode"' "$work/plain.gltf" && fail "an opaque texture's glTF material blends"
# The colour is marked sRGB beside data maps, and only there (a texture alone keeps its bytes).
run_cli 0 generate "${fast[@]}" --out alone.png
# Right after IHDR: length 1, "sRGB", intent 0 (perceptual) and its CRC, AE CE 1C E9.
[ "$(od -An -tx1 -j33 -N13 "$work/plain.png" | tr -d " \n")" = 000000017352474200aece1ce9 ] ||
  fail "the colour of a material set carries no sRGB chunk after IHDR"
grep -qa sRGB "$work/alone.png" && fail "a texture written alone carries an sRGB chunk"
grep -qa sRGB "$work/plain_orm.png" "$work/plain_normal.png" && fail "a data map carries an sRGB chunk"

run_cli 0 generate "${fast[@]}" --out godot.png --material godot --maps height
exrheader "$work/godot_height.exr" | grep -q "Y, 16-bit floating-point" || fail "exrheader: no half channel Y"
oiiotool --info -v "$work/godot_height.exr" | grep -q "64 x   64, 1 channel, half openexr" ||
  fail "oiiotool: $(oiiotool --info -v "$work/godot_height.exr" 2>&1 | head -2)"
grep -q 'path="godot_height.exr"' "$work/godot.tres" || fail "godot.tres names no height"
finish material_sets
