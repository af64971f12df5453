#!/usr/bin/env bash
# pallimor-cli archive: the exact lines for the shipped archive, a damaged copy, and the exit
# codes. Usage: cli_archive.sh BUILD_DIR. The expected stored sizes are read from the archive
# itself with od, independently of the program.
set -u
build=${1:?usage: cli_archive.sh BUILD_DIR}
cli="$build/pallimor-cli"
archive="$build/vorn.dat"
source "$(dirname "$0")/../support/shell_test.sh"

int32() { od -An -t d4 -j "$2" -N 4 "$1" | tr -d ' '; }
byte() { od -An -t u1 -j "$2" -N 1 "$1" | tr -d ' '; }

keys=(logo circle brush16hard brush16soft brush32hard brush32soft brush64hard brush64soft brush128hard brush128soft
  brush16hard-4x brush32hard-4x brush64hard-4x brush128hard-4x)
sizes=(16 512 16 16 32 32 64 64 128 128 64 128 256 512)

# Walk the key table for each record's key and header position.
offsets=()
keyat=()
pos=$(int32 "$archive" 8)
for i in "${!keys[@]}"; do
  keyat+=($((pos + 4)))
  len=$(int32 "$archive" "$pos")
  key=$(dd if="$archive" bs=1 skip=$((pos + 4)) count="$len" 2>/dev/null)
  [ "$key" = "${keys[$i]}" ] || fail "table entry $i is '$key', expected '${keys[$i]}'"
  offsets+=("$(int32 "$archive" $((pos + 4 + len)))")
  pos=$((pos + 8 + len))
done

expected() { # $1 = index of a record that fails to read, or -1
  echo "records ${#keys[@]}"
  for i in "${!keys[@]}"; do
    s=${sizes[$i]}
    stored=$(int32 "$archive" $((offsets[i] + 6)))
    read=ok
    [ "$i" = "$1" ] && read=failed
    echo "record $i key=${keys[$i]} type=1 unpacked=$((33 + s * s * 4)) stored=$stored read=$read"
  done
  local count=${#keys[@]} result=true
  if [ "$1" -ge 0 ]; then count=$1; result=false; fi
  echo "images $count result=$result"
  for ((i = 0; i < count; i++)); do
    s=${sizes[$i]}
    echo "image $i name=${keys[$i]} texture=${s}x${s}x1 pattern=${s}x${s} visible=${s}x${s} patterns=1"
  done
}

# The shipped archive.
"$cli" archive "$archive" >"$work/out" 2>"$work/err"
rc=$?
[ "$rc" = 0 ] || fail "shipped archive: exit $rc"
expected -1 >"$work/expected"
diff -u "$work/expected" "$work/out" >&2 || fail "shipped archive: output differs"
[ -s "$work/err" ] && fail "shipped archive: unexpected stderr: $(cat "$work/err")"

# A copy whose fourth record has one checksum bit flipped: three images and false.
cp "$archive" "$work/damaged.dat"
at=$((offsets[3] + 18))
flipped=$(($(byte "$archive" "$at") ^ 1))
printf "$(printf '\\%03o' "$flipped")" | dd of="$work/damaged.dat" bs=1 seek="$at" conv=notrunc 2>/dev/null
"$cli" archive "$work/damaged.dat" >"$work/out" 2>"$work/err"
rc=$?
[ "$rc" = 1 ] || fail "damaged archive: exit $rc, expected 1"
expected 3 >"$work/expected"
diff -u "$work/expected" "$work/out" >&2 || fail "damaged archive: output differs"
[ "$(cat "$work/err")" = "archive: image record 3 'brush16soft' failed to load; the list stops before it" ] ||
  fail "damaged archive: stderr is '$(cat "$work/err")'"

# Exit codes: 1 when the archive does not open (one line on stderr, nothing on stdout), 2 for usage.
check_exit() { # expected-code description args...
  local want=$1 what=$2
  shift 2
  "$cli" "$@" >"$work/out" 2>"$work/err"
  local rc=$?
  [ "$rc" = "$want" ] || fail "$what: exit $rc, expected $want"
  if [ "$want" != 0 ]; then
    [ "$(wc -l <"$work/err")" = 1 ] || fail "$what: expected one stderr line, got: $(cat "$work/err")"
    [ -s "$work/out" ] && fail "$what: unexpected stdout"
  fi
}
check_exit 1 "missing file" archive "$work/missing.dat"
[ -e "$work/missing.dat" ] && fail "missing file: the archive was created"
check_exit 1 "malformed table" archive "$(dirname "$0")/../data/record-count-too-large.dat"
check_exit 2 "no file" archive
check_exit 2 "two files" archive "$archive" "$archive"
check_exit 2 "no command"
check_exit 2 "unknown command" frobnicate
check_exit 0 "help" --help
grep -q "archive FILE" "$work/out" || fail "--help does not list archive"
grep -q "generate" "$work/out" || fail "--help does not list generate"

# pack and unpack: the shipped archive unpacks to the named PNG files and packs again to the same
# bytes; faults are one line per file, status 1, nothing written; an existing file needs --force.
check_exit 0 "unpack" archive unpack "$archive" "$work/brushes/deep"
[ "$(ls "$work/brushes/deep" | tr '\n' ' ')" = "background.png extra-10-brush16hard-4x.png extra-11-brush32hard-4x.png extra-12-brush64hard-4x.png extra-13-brush128hard-4x.png hard-128.png hard-16.png hard-32.png hard-64.png soft-128.png soft-16.png soft-32.png soft-64.png unused.png " ] ||
  fail "unpack wrote: $(ls "$work/brushes/deep")"
# An unpack killed while it moved files in left its staging folder beside the target: the next
# unpack into that folder removes it.
mkdir "$work/brushes/.deep.Kx83Qa" && touch "$work/brushes/.deep.Kx83Qa/hard-16.png"
check_exit 0 "unpack again" archive unpack "$archive" "$work/brushes/deep" --force
[ -z "$(ls -A "$work/brushes" | grep -v '^deep$')" ] || fail "unpack left $(ls -A "$work/brushes")"
check_exit 0 "pack" archive pack "$work/brushes/deep" "$work/repacked.dat"
cmp -s "$archive" "$work/repacked.dat" || fail "the repacked archive differs from the shipped one"
mkdir "$work/bad"
cp "$work/brushes/deep/"*.png "$work/bad/"
rm "$work/bad/soft-64.png" "$work/bad/unused.png"
echo junk >"$work/bad/hard-16.png"
cp "$work/brushes/deep/hard-32.png" "$work/bad/brush.png"
cp "$work/brushes/deep/background.png" "$work/bad/extra-01-big.png" # 512 x 512: fine
echo notes >"$work/bad/readme.txt"                                  # not an image: left alone
convert -size 1025x2 xc:red "$work/bad/extra-02-wide.png"           # a palette PNG, too wide
"$cli" archive pack "$work/bad" "$work/bad.dat" >"$work/out" 2>"$work/err"
[ $? = 1 ] || fail "bad folder: exit status"
sort "$work/err" >"$work/err.sorted"
printf '%s\n' "archive pack: brush.png: not a brush image name (background, hard-16 ... soft-128, unused, extra-NAME)" \
  "archive pack: hard-16.png: not a readable PNG image (read beyond end of data)" \
  "archive pack: soft-64.png: missing" "archive pack: extra-02-wide.png: 1025 x 2 pixels; a side may be 1 to 1024" | sort | diff -u - "$work/err.sorted" >&2 || fail "bad folder: the lines differ"
[ ! -e "$work/bad.dat" ] || fail "bad folder: an archive was written"
check_exit 1 "pack over an archive" archive pack "$work/brushes/deep" "$work/repacked.dat"
check_exit 0 "pack --force" archive pack "$work/brushes/deep" "$work/repacked.dat" --force
check_exit 2 "pack without an archive" archive pack "$work/brushes/deep"

# A record key that would lead out of the folder (brush16hard-4x becomes a/../../../esc, as long)
# is refused with one line before anything is written, here or above.
cp "$archive" "$work/escape.dat"
printf 'a/../../../esc' | dd of="$work/escape.dat" bs=1 seek="${keyat[10]}" conv=notrunc 2>/dev/null
mkdir -p "$work/up/down/target/extra-10-a"
before=$(cd "$work" && find . | sort)
check_exit 1 "unpack an escaping key" archive unpack "$work/escape.dat" "$work/up/down/target" --force
[ "$(cat "$work/err")" = "archive unpack: $work/escape.dat: record 10 (image 10, key 'a/../../../esc') cannot name a file: it holds '/'" ] ||
  fail "escaping key: stderr is '$(cat "$work/err")'"
[ "$(cd "$work" && find . | sort)" = "$before" ] || fail "escaping key: files were written"

# High-resolution twins that are not four times their brush's size are not drawn: a large texture
# with them is the one drawn with no twins at all (the brushes magnified).
mkdir "$work/notwins" "$work/badtwins"
cp "$work/brushes/deep/"*.png "$work/badtwins/"
for twin in "$work/badtwins/"extra-*-4x.png; do convert "$twin" -resize 75% "$twin"; done
cp "$work/brushes/deep/"*.png "$work/notwins/"
rm "$work/notwins/"extra-*-4x.png
for set in notwins badtwins; do
  "$cli" archive pack "$work/$set" "$work/$set.dat" || fail "pack $set"
  "$cli" generate --archive "$work/$set.dat" --seed 5 --size 2048 --steps 0 --brush-type hard \
    --out "$work/$set.bmp" --quiet 2>"$work/$set.err" || fail "generate with $set"
done
cmp -s "$work/notwins.bmp" "$work/badtwins.bmp" || fail "twins of the wrong size were drawn"
[ ! -s "$work/notwins.err" ] && grep -q "^pallimor-cli generate: Brush archive $work/badtwins.dat: twin brush16hard-4x is 48 x 48, not 4 times brush16hard's 16 x 16; magnified instead$" "$work/badtwins.err" ||
  fail "a twin of the wrong size was not named: $(cat "$work/badtwins.err")"

# Brush sets: three installed beside the program, the default one named by the hash recipes leave
# out; another set draws another texture, its recipe names the set and makes the same file again
# (the installed set is found by its hash), and is refused with one line by another archive.
"$cli" archive list >"$work/sets"
[ "$(cut -d' ' -f1,2 "$work/sets" | tr '\n' ' ')" = "default CCA38C1A ink 40771028 shapes ABEA76DA " ] ||
  fail "archive list: $(cat "$work/sets")"
"$cli" generate --seed 5 --size 64 --out "$work/default.png" --quiet
"$cli" generate --brushes ink --seed 5 --size 64 --out "$work/ink.png" --json >"$work/json" || fail "--brushes ink"
cmp -s "$work/default.png" "$work/ink.png" && fail "the ink set drew the default texture"
code=$(grep -o '"recipe":"[^"]*"' "$work/json" | cut -d'"' -f4)
[ "$code" = "P1.size=64.brushes=40771028.seed=00000005" ] || fail "ink recipe: $code"
"$cli" generate --recipe "$code" --out "$work/again.png" --quiet || fail "the ink recipe"
cmp -s "$work/ink.png" "$work/again.png" || fail "the ink recipe made another texture"
"$cli" generate --archive "$archive" --recipe "$code" --out "$work/refused.png" 2>"$work/err"
[ $? = 1 ] && [ "$(cat "$work/err")" = "Recipe made with the ink brushes; $archive holds the default brushes" ] &&
  [ ! -e "$work/refused.png" ] || fail "a foreign recipe: $(cat "$work/err")"

finish cli_archive
