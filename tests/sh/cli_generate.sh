#!/usr/bin/env bash
# pallimor-cli generate end to end: usage errors, the missing-archive message, files written
# alone and as a batch, determinism, and the trace with its chained seeds.
# Usage: cli_generate.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
cli="$build/pallimor-cli"
archive="$build/vorn.dat"
source "$(dirname "$0")/../support/shell_test.sh"

# expect_status STATUS ARGS...: runs the generator in $work, keeps stdout and stderr.
expect_status() { run_cli "$1" generate "${@:2}"; }

# A bad value: status 2, one line on stderr naming the option, nothing written.
expect_usage_error() {
  local option=$1
  shift
  rm -f "$work/bad.png" "$work/bad.trace"
  expect_status 2 --archive "$archive" --out "$work/bad.png" --trace "$work/bad.trace" "$@"
  [ "$(wc -l <"$work/err.txt")" -eq 1 ] || fail "generate $*: expected one line on stderr, got: $(cat "$work/err.txt")"
  grep -q -- "$option" "$work/err.txt" || fail "generate $*: the message does not name $option: $(cat "$work/err.txt")"
  [ ! -e "$work/bad.png" ] && [ ! -e "$work/bad.trace" ] || fail "generate $*: wrote a file despite the error"
}

# --help lists every option.
expect_status 0 --help
for option in --seed --size --bg-color --image --effect --bg-fill --bg-form --brush-type --brush-size --steps \
  --hue-switch --saturation --lightness --radius-speed --angle-speed --scale-speed --turn-freq --count --out \
  --folder --type --quality --maps --normal-strength --height-blur --normal-y --normal-filter --archive --trace; do
  grep -q -- "$option" "$work/out.txt" || fail "--help does not mention $option"
done

expect_usage_error --size --size 300
expect_usage_error --size --size 256x
expect_usage_error --seed --seed -1
expect_usage_error --seed --seed 0x100000000
expect_usage_error --seed --seed 12ab
expect_usage_error --bg-color --bg-color 12345G
expect_usage_error --bg-color --bg-color '#1234567'
expect_usage_error --image --image blank
expect_usage_error --effect --effect Blend
expect_usage_error --bg-fill --bg-fill gradient
expect_usage_error --bg-form --bg-form triangle
expect_usage_error --brush-type --brush-type medium
expect_usage_error --brush-size --brush-size 48
expect_usage_error --steps --steps 2049
expect_usage_error --steps --steps=-1
expect_usage_error --hue-switch --hue-switch 0
expect_usage_error --turn-freq --turn-freq 101
expect_usage_error --count --count 1001
expect_usage_error --count --count 0
expect_usage_error --quality --quality 0
expect_usage_error --type --type gif
expect_usage_error --frobnicate --frobnicate
expect_usage_error --steps --steps
expect_usage_error --count --count 2
expect_usage_error --folder --folder "$work/batch"

# A missing archive: the program's own message with the name given, status 1, nothing written.
expect_status 1 --archive "$work/none/vorn.dat" --out "$work/never.png"
[ "$(cat "$work/err.txt")" = "File $work/none/vorn.dat not found! Try reinstalling the application!  " ] ||
  fail "missing archive message: '$(cat "$work/err.txt")'"
[ ! -e "$work/never.png" ] || fail "a texture was written without an archive"
# Without --archive the program looks in the current folder, beside itself, then in the data
# folder; a copy of the program in an empty folder finds none (unless one is installed).
mkdir -p "$work/alone/run"
cp "$cli" "$work/alone/pallimor-cli"
(cd "$work/alone/run" && ./../pallimor-cli generate --out none.png >"$work/out.txt" 2>"$work/err.txt")
status=$?
if [ ! -e /usr/local/share/pallimor/vorn.dat ] && [ ! -e /usr/share/pallimor/vorn.dat ]; then
  [ $status -eq 1 ] || fail "no archive anywhere: status $status"
  [ "$(cat "$work/err.txt")" = "File vorn.dat not found! Try reinstalling the application!  " ] ||
    fail "default missing archive message: '$(cat "$work/err.txt")'"
fi
cp "$archive" "$work/alone/run/vorn.dat"
(cd "$work/alone/run" && ./../pallimor-cli generate --steps 0 --size 64 --out found.png) || fail "vorn.dat in the current folder not found"
# An archive without the ten images: one line naming it and its count, status 1, nothing written.
echo "no archive" >"$work/junk.dat"
expect_status 1 --archive "$work/junk.dat" --out "$work/never.png"
[ "$(cat "$work/err.txt")" = "Brush archive $work/junk.dat holds 0 usable images; the generator needs 10" ] ||
  fail "short archive message: '$(cat "$work/err.txt")'"
[ ! -e "$work/never.png" ] || fail "a texture was written without brushes"
# A junk vorn.dat in the current folder no longer hides the good one beside the program.
cp "$work/junk.dat" "$work/alone/run/vorn.dat"
cp "$archive" "$work/alone/vorn.dat"
(cd "$work/alone/run" && ./../pallimor-cli generate --steps 0 --size 64 --out "$work/alone/a.png") ||
  fail "the good archive beside the program was not used"
[ -s "$work/alone/a.png" ] || fail "no texture from the archive beside the program"

# One texture: a 64 x 64 PNG, the same bytes for the same seed, other bytes for another.
fast=(--archive "$archive" --steps 0 --brush-size 16 --size 64)
expect_status 0 "${fast[@]}" --seed 7 --out "$work/a.png"
expect_status 0 "${fast[@]}" --seed 7 --out "$work/b.png"
expect_status 0 "${fast[@]}" --seed 8 --out "$work/c.png"
[ "$(head -c 8 "$work/a.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "a.png is no PNG"
[ "$(od -An -tx1 -j16 -N8 "$work/a.png" | tr -d ' \n')" = 0000004000000040 ] || fail "a.png is not 64 x 64"
cmp -s "$work/a.png" "$work/b.png" || fail "the same seed gave different files"
cmp -s "$work/a.png" "$work/c.png" && fail "different seeds gave the same file"
# No extension: a BMP with .bmp appended.
expect_status 0 "${fast[@]}" --seed 7 --out "$work/plain"
[ "$(head -c 2 "$work/plain.bmp")" = BM ] || fail "plain.bmp is no BMP"
# An unwritable destination: status 1 and the export's reason.
expect_status 1 "${fast[@]}" --seed 7 --out "$work/missing-folder/x.png"
grep -q "missing-folder/x.png" "$work/err.txt" || fail "the export error does not name the file: $(cat "$work/err.txt")"

# A batch: numbered files in a folder made for it; the first is the single texture of that seed,
# and the trace of the batch is the trace of the same run without files.
plain=(--archive "$archive" --steps 0 --effect blend --bg-fill color --bg-form none --brush-type hard --brush-size 16
  --size 64)
expect_status 0 "${plain[@]}" --seed 0x2A --count 3 --folder "$work/batch" --type png --trace "$work/batch.trace"
[ "$(ls "$work/batch" | tr '\n' ' ')" = "image000.png image001.png image002.png " ] ||
  fail "batch files: $(ls "$work/batch" | tr '\n' ' ')"
expect_status 0 "${plain[@]}" --seed 42 --out "$work/first.png"
cmp -s "$work/first.png" "$work/batch/image000.png" || fail "the batch's first texture differs from a single one"
cmp -s "$work/batch/image000.png" "$work/batch/image001.png" && fail "two batch textures are the same"
expect_status 0 "${plain[@]}" --seed 42 --count 3 --trace "$work/nofiles.trace"
cmp -s "$work/batch.trace" "$work/nofiles.trace" || fail "exporting changed the trace"

# A batch whose folder cannot be made says so and writes nothing.
expect_status 1 "${plain[@]}" --seed 1 --count 3 --folder "$work/a.png/sub" --type bmp
grep -q "Cannot make the folder .*a.png/sub: Not a directory" "$work/err.txt" ||
  fail "the batch error does not name the folder: $(cat "$work/err.txt")"

# The trace: header, three blocks whose seeds chain, one fill and 1024 x 4 stamps each.
trace="$work/batch.trace"
[ "$(head -n 1 "$trace")" = "# pallimor-trace 1" ] || fail "trace header: $(head -n 1 "$trace")"
mapfile -t before < <(grep '^# seed-before ' "$trace" | cut -d' ' -f3)
mapfile -t after < <(grep '^# seed-after ' "$trace" | cut -d' ' -f3)
[ "${#before[@]}" -eq 3 ] && [ "${#after[@]}" -eq 3 ] || fail "expected 3 blocks, got ${#before[@]} and ${#after[@]}"
[ "${before[0]:-}" = 0000002A ] || fail "first seed-before ${before[0]:-none}, expected 0000002A"
for k in 0 1; do
  [ "${after[$k]:-a}" = "${before[$((k + 1))]:-b}" ] || fail "block $((k + 1)) ends at ${after[$k]:-?}, the next starts at ${before[$((k + 1))]:-?}"
done
[ "$(grep -c '^FillGradientRect 0 0 1024 1024 FFFF8000 FFFF8000 FFFF8000 FFFF8000 00000001$' "$trace")" -eq 3 ] ||
  fail "expected one plain fill per block"
[ "$(grep -c '^DrawRotatedScaled 2 ' "$trace")" -eq $((3 * 4096)) ] || fail "expected 4096 stamps per block"
[ "$(grep -vc -e '^#' -e '^FillGradientRect ' -e '^DrawRotatedScaled 2 [0-9A-F]\{8\} [-0-9.e]* [-0-9.e]* 0 1 0 00000504$' "$trace")" -eq 0 ] ||
  fail "unexpected trace lines: $(grep -v -e '^#' -e '^FillGradientRect ' -e ' 0 1 0 00000504$' "$trace" | head -n 3)"

# Keep paints no background; Steps 2048 runs 3072 steps; a colour given as #RRGGBB.
expect_status 0 --archive "$archive" --size 64 --image keep --effect glow --steps 2048 --brush-size 16 \
  --seed 5 --trace "$work/keep.trace"
grep -q -e '^Fill' -e '^DrawRotatedScaled 1 ' "$work/keep.trace" && fail "Keep drew a background"
[ "$(grep -c '^DrawRotatedScaled ' "$work/keep.trace")" -eq $((3072 * 8)) ] || fail "Steps 2048 with Glow: expected 3072 x 8 stamps"
expect_status 0 "${plain[@]}" --seed 1 --bg-color '#A6CAF0' --trace "$work/color.trace"
grep -q '^FillGradientRect 0 0 1024 1024 FFF0CAA6 ' "$work/color.trace" || fail "--bg-color #A6CAF0 is not 0xFFF0CAA6"

# No fill: an RGBA PNG (colour type 6, every other texture RGB, 2); a JPEG gets the BG Color
# beneath and one line on stderr saying so.
colour_type() { od -An -tu1 -j25 -N1 "$1" | tr -d ' '; }
expect_status 0 "${fast[@]}" --seed 7 --bg-fill none --out "$work/none.png"
[ "$(colour_type "$work/none.png")" = 6 ] || fail "--bg-fill none: colour type $(colour_type "$work/none.png")"
[ "$(colour_type "$work/a.png")" = 2 ] || fail "a filled texture: colour type $(colour_type "$work/a.png")"
expect_status 0 "${fast[@]}" --seed 7 --bg-fill none --out "$work/none.jpg"
[ "$(cat "$work/err.txt")" = "JPEG holds no transparency: written over the BG Color" ] ||
  fail "--bg-fill none as JPEG: '$(cat "$work/err.txt")'"

# A run that would write nothing says how to write and fails as bad usage (--json or --trace
# alone are output enough).
rm -f "$work"/*.png
expect_status 2 "${plain[@]}" --seed 1
[ "$(cat "$work/err.txt")" = "pallimor-cli generate: nothing to write: give --out FILE, --out - or --folder DIR" ] ||
  fail "nothing to write: '$(cat "$work/err.txt")'"

# The help texts: the text of each entry of a table starts in one column, at least two spaces
# after the entry; an entry too long for generate's column has its text on the next line.
help_columns() { # the distinct columns the texts start in; "ENTRY runs-together" for a bad one
  awk -v indent="$1" '
    held != "" {
      lead = substr($0, 1, indent)
      gsub(/ /, "", lead)
      if (lead != "" || substr($0, indent + 1, 1) == " ") print held " runs-together"
      held = ""
    }
    /^  [^ ]/ { if (match($0, /[^ ]  +[^ ]/)) print RSTART + RLENGTH - 1; else held = $1 }
    END { if (held != "") print held " runs-together" }' | sort -u | tr '\n' ' '
}
"$cli" --help | sed -n '/^commands:/,$p' >"$work/help.txt"
columns=$(help_columns 999 <"$work/help.txt")
[[ "$columns" =~ ^[0-9]+\ $ ]] || fail "--help: texts at $columns: $(cat "$work/help.txt")"
"$cli" generate --help >"$work/help.txt"
[ "$(help_columns 22 <"$work/help.txt")" = "23 " ] || fail "generate --help: texts at $(help_columns 22 <"$work/help.txt")"

# Memory running out at any point of a large texture ends in one line and status 1, never in an
# abort (not under a sanitizer, which cannot start with a limited address space).
if (ulimit -v 262144 && "$cli" --version >/dev/null 2>&1); then
  for limit in $(seq 16384 2048 65536); do
    (ulimit -v "$limit" && "$cli" generate --archive "$archive" --size 4096 --steps 0 --seed 1 --threads 2 \
      --out "$work/huge.png" --force >/dev/null 2>"$work/err.txt")
    status=$?
    [ $status -le 1 ] && [ "$(wc -l <"$work/err.txt")" -le 1 ] ||
      fail "at $limit KiB: status $status, $(head -c 300 "$work/err.txt")"
  done
fi

finish cli_generate
