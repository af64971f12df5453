#!/usr/bin/env bash
# pallimor-cli generate and the files it writes: existing files refused without --force and left
# untouched, --name patterns and their clashes, --out - against a file export, missing parent
# folders, and the options that cannot apply to the file named.
# Usage: cli_files.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
cli="$build/pallimor-cli"
source "$(dirname "$0")/../support/shell_test.sh"
fast=(--archive "$build/vorn.dat" --steps 0 --brush-size 16 --size 64 --seed 0x2A --quiet)

# run STATUS ARGS...: generate in $work, stdout and stderr kept.
run() { run_cli "$1" generate "${@:2}"; }

# The names and contents of every file under a folder, to compare before and after.
snapshot() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 -r md5sum); }

# Refused: status 1, one line naming the first existing file, and the folder exactly as before.
mkdir -p "$work/old"
echo old >"$work/old/image001.png"
echo old >"$work/old/t-001-DEADBEEF.png"
echo old >"$work/old/single.png"
echo old >"$work/old/trace.txt"
before=$(snapshot "$work/old")
refusals=(
  "old/image001.png|--count 3 --folder old --type png"
  "old/t-001-DEADBEEF.png|--count 3 --folder old --type png --name t-{n}-{seed}"
  "old/single.png|--out old/single.png"
  "old/single.png|--out old/single --type png"
  "old/trace.txt|--out old/new.png --trace old/trace.txt"
)
for case in "${refusals[@]}"; do
  file=${case%%|*}
  read -ra args <<<"${case#*|}"
  run 1 "${fast[@]}" "${args[@]}"
  [ "$(cat "$work/err.txt")" = "File $file exists; --force replaces it" ] || fail "${args[*]}: '$(cat "$work/err.txt")'"
  [ "$(snapshot "$work/old")" = "$before" ] || fail "${args[*]}: the folder changed: $(ls "$work/old")"
done
# --force replaces them.
run 0 "${fast[@]}" --count 3 --folder old --type png --force
[ "$(head -c 4 "$work/old/image001.png" | tail -c 3)" = PNG ] || fail "--force did not replace image001.png"

# --maps: NAME_height.png (16-bit grey) and NAME_normal.png (8-bit RGB) beside each texture; a map
# that exists refuses the batch as a texture would, and --force replaces it.
run 0 "${fast[@]}" --count 2 --folder maps --maps height,normal
[ "$(ls "$work/maps" | tr '\n' ' ')" = "image000.jpg image000_height.png image000_normal.png image001.jpg \
image001_height.png image001_normal.png " ] || fail "--maps: $(ls "$work/maps" | tr '\n' ' ')"
# IHDR's bit depth and colour type.
[ "$(od -An -tu1 -j24 -N2 "$work/maps/image001_height.png" | xargs)" = "16 0" ] || fail "--maps: height format"
[ "$(od -An -tu1 -j24 -N2 "$work/maps/image001_normal.png" | xargs)" = "8 2" ] || fail "--maps: normal format"
rm "$work"/maps/image000* "$work/maps/image001.jpg" "$work/maps/image001_height.png"
run 1 "${fast[@]}" --count 2 --folder maps --maps normal,height
[ "$(cat "$work/err.txt")" = "File maps/image001_normal.png exists; --force replaces it" ] || fail "--maps: '$(cat "$work/err.txt")'"
[ "$(ls "$work/maps")" = image001_normal.png ] || fail "--maps without --force wrote $(ls "$work/maps" | tr '\n' ' ')"
run 0 "${fast[@]}" --count 2 --folder maps --maps height,normal --force
[ "$(ls "$work/maps" | wc -l)" -eq 6 ] || fail "--maps --force: $(ls "$work/maps" | tr '\n' ' ')"
# The roughness and occlusion maps: 8-bit grey, in any combination with the others; their
# options apply only with their maps (status 2, one line).
run 0 "${fast[@]}" --out surface.png --maps ao,roughness --ao-radius 8 --roughness 0.2,0.6
for kind in roughness ao; do
  [ "$(od -An -tu1 -j24 -N2 "$work/surface_$kind.png" | xargs)" = "8 0" ] || fail "--maps: $kind format"
done
[ ! -e "$work/surface_height.png" ] && [ ! -e "$work/surface_normal.png" ] || fail "--maps ao,roughness wrote more"
for bad in "--maps normal --ao-radius 8" "--maps ao --roughness 0.2,0.6" "--maps roughness --roughness 0.7,0.2" \
  "--maps ao,ao" "--map-format exr" "--maps height --map-format tiff"; do
  # shellcheck disable=SC2086
  run 2 "${fast[@]}" --out bad.png $bad
  [ "$(wc -l <"$work/err.txt")" -eq 1 ] && [ ! -e "$work/bad.png" ] || fail "$bad: $(cat "$work/err.txt")"
done

# --name: the fields filled in; usage errors (status 2, one line naming --name, nothing written)
# for folders, unknown fields and names that repeat within the batch.
run 0 "${fast[@]}" --count 2 --folder named/a/b --type bmp --name '{effect}-{size}-{n}'
[ "$(ls "$work/named/a/b" | tr '\n' ' ')" = "stroke-64-000.bmp stroke-64-001.bmp " ] ||
  fail "--name with {effect}, {size}, {n}: $(ls "$work/named/a/b" | tr '\n' ' ')"
run 0 "${fast[@]}" --folder named --type png --name 'x{seed}'
[ -f "$work/named/x0000002A.png" ] || fail "--name {seed}: $(ls "$work/named" | tr '\n' ' ')"
for name in 'a/{n}' 'tile' '{seed}' '{effect}-{size}-{seed}' '{n}{bogus}' '{n'; do
  run 2 "${fast[@]}" --count 3 --folder clash --name "$name"
  [ "$(wc -l <"$work/err.txt")" -eq 1 ] && grep -q -- --name "$work/err.txt" || fail "--name '$name': $(cat "$work/err.txt")"
  [ ! -e "$work/clash" ] || fail "--name '$name' made the folder"
done

# --out -: the bytes of a file export in the format --type names.
for type in bmp png jpg; do
  run 0 "${fast[@]}" --out "file.$type"
  run 0 "${fast[@]}" --out - --type "$type"
  cmp -s "$work/out.txt" "$work/file.$type" || fail "--out - --type $type differs from file.$type"
done
run 0 "${fast[@]}" --out file40.JPEG --quality 40
run 0 "${fast[@]}" --out - --type jpg --quality 40
cmp -s "$work/out.txt" "$work/file40.JPEG" || fail "--out - --quality 40 differs from file40.JPEG"

# Options that cannot apply to the file named, and extensions that name no format.
for bad in "--out x.gif" "--out x." "--out - " "--type png" "--quality 50" "--out x.png --type png" \
  "--out x.png --quality 50" "--out x --quality 50" "--folder q --type png --quality 50" "--out - --type png --json" \
  "--out x.png --name {n}" "--out x.png --maps bump" "--out x.png --maps height,height" \
  "--out - --type png --maps normal" "--maps height" "--out x.png --height-blur 2" \
  "--out x.png --maps height --normal-y down" "--out x.png --maps normal --normal-strength 1e1"; do
  # shellcheck disable=SC2086
  run 2 "${fast[@]}" $bad
  [ "$(wc -l <"$work/err.txt")" -eq 1 ] || fail "$bad: expected one line, got: $(cat "$work/err.txt")"
  [ -z "$(find "$work" -maxdepth 1 -name 'x*' -o -maxdepth 1 -name q)" ] || fail "$bad: wrote a file"
done

# Failures a user can act on, each one line with control characters shown escaped: a folder that
# cannot be made, a material set for a name with a newline (nothing written), output into a full
# device (exit 1, not 0), and palettes that are no file or too long to be typed colours.
touch "$work/plain"
head -c 70000 /dev/zero | tr '\0' '1' >"$work/big.txt"
nl=$'n\ex\ny'
while IFS='|' read -r want piece args; do
  # shellcheck disable=SC2086
  (cd "$work" && eval "\"\$cli\" $args" >/dev/full 2>"$work/err.txt")
  got=$?
  [ "$got" -eq "$want" ] && [ "$(wc -l <"$work/err.txt")" -eq 1 ] && grep -qF -- "$piece" "$work/err.txt" ||
    fail "$args: exit $got, $(cat "$work/err.txt")"
done <<EOF2
1|Cannot make the folder plain/sub: Not a directory|generate ${fast[*]} --folder plain/sub
1|n\x1Bx\x0Ay.png: a material set cannot name|generate ${fast[*]} --material godot --out "\$nl.png"
1|cannot write to standard output|recipe --json P1.seed=0000002A
1|cannot write to standard output|archive "$build/vorn.dat"
1|Cannot write to standard output|generate --archive "$build/vorn.dat" --steps 0 --size 64 --seed 1 --json
2|--palette: /dev/null is not a regular file|generate ${fast[*]} --palette /dev/null --out p.png
2|big.txt is neither a PNG or JPEG image nor typed colours|generate ${fast[*]} --palette big.txt --out p.png
EOF2
[ -z "$(find "$work" -maxdepth 1 -name "n?x*")" ] || fail "a material set for a name with a newline wrote $(ls "$work")"

finish cli_files
