#!/usr/bin/env bash
# Recipe codes end to end: the codes --json reports bring back the same bytes (a single texture,
# every texture of a Keep batch, a batch continued from a recipe), the clock seed on stderr,
# --quiet, --recipe's usage errors and the recipe command.
# Usage: cli_recipe.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
cli="$build/pallimor-cli"
source "$(dirname "$0")/../support/shell_test.sh"
fast=(--archive "$build/vorn.dat" --size 64 --brush-size 16)

# run STATUS ARGS...: pallimor-cli in $work, stdout and stderr kept.
run() { run_cli "$@"; }

# The recipe of texture INDEX in the --json output kept in json.txt.
recipe_of() {
  grep -o '"recipe":"[^"]*"' "$work/json.txt" | sed -n "$(($1 + 1))p" | cut -d'"' -f4
}

# The exact --json of a default texture that is not written.
run 0 generate "${fast[@]}" --seed 42 --steps 0 --json
[ "$(cat "$work/out.txt")" = '{"textures":[{"index":0,"file":null,"seed":"0000002A","recipe":"P1.size=64.seed=0000002A.brush-size=16.steps=0"}]}' ] ||
  fail "--json: $(cat "$work/out.txt")"
[ ! -s "$work/err.txt" ] || fail "--json wrote to stderr: $(cat "$work/err.txt")"

# A Keep batch with other settings: each texture's recipe makes the same file alone.
settings=(--steps 256 --effect shift --bg-color 123456 --hue-switch 80 --image keep)
run 0 generate "${fast[@]}" "${settings[@]}" --seed 0x2A --count 3 --folder "$work/batch" --type png --json
cp "$work/out.txt" "$work/json.txt"
files=$(grep -o '"file":"[^"]*"' "$work/json.txt" | cut -d'"' -f4 | tr '\n' ' ')
[ "$files" = "$work/batch/image000.png $work/batch/image001.png $work/batch/image002.png " ] ||
  fail "each texture's entry names its own file: $(cat "$work/json.txt")"
for k in 0 1 2; do
  code=$(recipe_of $k)
  run 0 generate --archive "$build/vorn.dat" --recipe "$code" --out "$work/again$k.png"
  cmp -s "$work/again$k.png" "$work/batch/image00$k.png" || fail "texture $k differs from its recipe $code"
done
# A clear texture with its own colour and size.
run 0 generate --archive "$build/vorn.dat" --size 128 --bg-color A6CAF0 --bg-fill h-grad --steps 0 --seed 7 \
  --out "$work/clear.png" --json
cp "$work/out.txt" "$work/json.txt"
code=$(recipe_of 0)
run 0 generate --archive "$build/vorn.dat" --recipe "$code" --out "$work/clear-again.png"
cmp -s "$work/clear.png" "$work/clear-again.png" || fail "the clear texture differs from its recipe $code"

# --count after a recipe continues the sequence as the batch did.
run 0 generate "${fast[@]}" "${settings[@]}" --seed 0x2A --json
cp "$work/out.txt" "$work/json.txt"
run 0 generate --archive "$build/vorn.dat" --recipe "$(recipe_of 0)" --count 3 --folder "$work/more" --type png
for k in 0 1 2; do
  cmp -s "$work/more/image00$k.png" "$work/batch/image00$k.png" || fail "continued texture $k differs"
done

# The tiling and the palette: both are in the code, the palette as its colours, and the code makes
# the same file; at 2048 the large texture follows them too. A palette typed as the shipped one's
# colours is the same palette.
rust=3A1A0E,5E2A12,863C17,A9541F,C8743A,DE9B63
for size in 64 2048; do
  run 0 generate --archive "$build/vorn.dat" --size $size --steps 0 --seed 9 --tiling wrap-x --palette rust \
    --out "$work/wrapx$size.png" --json
  cp "$work/out.txt" "$work/json.txt"
  code=$(recipe_of 0)
  [[ "$code" == *.tiling=wrap-x*.palette=${rust//,/-}* ]] || fail "--tiling wrap-x --palette rust not in the code $code"
  run 0 generate --archive "$build/vorn.dat" --recipe "$code" --out "$work/wrapx$size-again.png"
  cmp -s "$work/wrapx$size.png" "$work/wrapx$size-again.png" || fail "the wrapped texture differs from its recipe $code"
done
run 0 generate --archive "$build/vorn.dat" --size 64 --steps 0 --seed 9 --tiling wrap-x --palette "#${rust//,/, #}" \
  --out "$work/typed64.png"
cmp -s "$work/wrapx64.png" "$work/typed64.png" || fail "typed colours made another texture than the named palette"
run 0 generate --archive "$build/vorn.dat" --size 64 --steps 0 --seed 9 --tiling wrap-x --out "$work/walk64.png"
cmp -s "$work/wrapx64.png" "$work/walk64.png" && fail "--palette rust made the walk's colours"
run 0 generate --archive "$build/vorn.dat" --size 64 --steps 0 --seed 9 --out "$work/mirror64.png"
cmp -s "$work/walk64.png" "$work/mirror64.png" && fail "--tiling wrap-x made the mirrored texture"
# A palette that is no name, file or colours, and a colour count without an image: one line, status 2.
for bad in "--palette nosuch" "--palette rust --palette-colors 4" "--palette 123456" "--palette-colors 3"; do
  # shellcheck disable=SC2086
  run 2 generate --archive "$build/vorn.dat" $bad --out "$work/bad.png"
  [ "$(wc -l <"$work/err.txt")" -eq 1 ] && [ ! -e "$work/bad.png" ] || fail "$bad: $(cat "$work/err.txt")"
done

# The clock seed: one line on stderr that makes the same texture again; --quiet says nothing.
run 0 generate "${fast[@]}" --steps 0 --out "$work/clock.png"
seed_line=$(cat "$work/err.txt")
[[ "$seed_line" =~ ^seed\ 0x[0-9A-F]{8}$ ]] || fail "clock seed line: '$seed_line'"
run 0 generate "${fast[@]}" --steps 0 --seed "${seed_line#seed }" --out "$work/seeded.png"
cmp -s "$work/clock.png" "$work/seeded.png" || fail "the printed seed does not make the same texture"
run 0 generate "${fast[@]}" --steps 0 --quiet --out "$work/quiet.png"
[ ! -s "$work/out.txt" ] && [ ! -s "$work/err.txt" ] || fail "--quiet printed something"

# A code longer than a file name may be (16 colours and every parameter set) is still a code.
long="P1.size=64.seed=00000001.effect=glow.bg-fill=h-grad.brush-size=16.steps=7.hue-switch=3.saturation=4"
long+=".lightness=5.radius-speed=6.angle-speed=7.scale-speed=8.turn-freq=9.tiling=wrap.palette=112233-445566"
long+="-778899-AABBCC-DDEEFF-123456-654321-ABCDEF-FEDCBA-0F0F0F-F0F0F0-1A2B3C-3C2B1A-4D5E6F-6F5E4D-7A8B9C"
[ "${#long}" -gt 255 ] || fail "the long code is only ${#long} characters"
run 0 generate --archive "$build/vorn.dat" --recipe "$long" --out "$work/long.png"
run 0 recipe "$long"

# --recipe with a seed, a generation option or a bad code: status 2, one line, nothing written.
for bad in "--seed 1" "--effect glow" "--size 128" "--recipe P1.seed=0000002A.steps=9999" "--recipe P2.seed=0"; do
  # shellcheck disable=SC2086
  run 2 generate --archive "$build/vorn.dat" --recipe P1.seed=0000002A $bad --out "$work/bad.png"
  [ "$(wc -l <"$work/err.txt")" -eq 1 ] || fail "$bad: expected one line, got: $(cat "$work/err.txt")"
  grep -q -- "--recipe" "$work/err.txt" || fail "$bad: the message does not name --recipe: $(cat "$work/err.txt")"
  [ ! -e "$work/bad.png" ] || fail "$bad: a file was written"
done

# The recipe command: one block per link, every option name, the continued seed filled in.
run 0 recipe "P1.size=64.seed=0000002A.image=keep+image=keep.effect=glow"
[ "$(grep -c '^seed 0x[0-9A-F]\{8\}$' "$work/out.txt")" -eq 2 ] || fail "recipe: expected two seeds"
[ "$(head -n 1 "$work/out.txt")" = "seed 0x0000002A" ] || fail "recipe: first line $(head -n 1 "$work/out.txt")"
[ "$(grep -c '^$' "$work/out.txt")" -eq 1 ] || fail "recipe: expected two blocks"
for line in "size 64" "bg-color 0080FF" "image keep" "effect stroke" "effect glow" "steps 1024" "turn-freq 50"; do
  grep -qx "$line" "$work/out.txt" || fail "recipe: no line '$line'"
done
for option in $("$cli" generate --help | grep -o '^  --[a-z-]*' | sed 's/^  --//'); do
  case $option in seed | recipe | recipes | count | out | folder | name | type | quality | maps | normal-strength | height-blur | \
    normal-y | normal-filter | ao-radius | map-format | roughness | material | metallic | palette-colors | force | threads | archive | brushes | trace | embed-recipe | json | quiet | help | \
    shard | vary | lock | manifest | resume | tar | preset | layers | height-from) continue ;; esac
  [ "$(grep -c "^$option " "$work/out.txt")" -eq 2 ] || fail "recipe: '$option' is not in both blocks"
done
# Layers are printed where a link has them, as --layers takes them.
run 0 recipe "P1.seed=0000002A.tiling=wrap.layers=bricks:rows=6,tile:blend=multiply"
grep -qx "layers bricks:rows=6,tile:blend=multiply" "$work/out.txt" || fail "recipe: no layers line"
run 2 recipe "P1.seed=0000002A.effect=shift.effect=glow"
[ "$(cat "$work/err.txt")" = "pallimor-cli recipe: repeated field 'effect' in link 1" ] ||
  fail "recipe error: '$(cat "$work/err.txt")'"
[ ! -s "$work/out.txt" ] || fail "a bad code printed values"

# Recipes inside files: a Keep batch's PNG and JPEG files carry their codes, the recipe command
# reads them, --recipe FILE remakes the file's texture; without --embed-recipe the bytes are as
# before; a file without a recipe is one line, status 1 (2 for --recipe).
for type in png jpg; do
  run 0 generate "${fast[@]}" "${settings[@]}" --seed 7 --count 2 --folder "$work/embed-$type" --type $type --json --embed-recipe
  cp "$work/out.txt" "$work/json.txt"
  run 0 generate "${fast[@]}" "${settings[@]}" --seed 7 --count 2 --folder "$work/plain-$type" --type $type --quiet
  for i in 0 1; do
    file="$work/embed-$type/image00$i.$type"
    run 0 recipe "$(recipe_of $i)"
    cp "$work/out.txt" "$work/from-code.txt"
    run 0 recipe "$file"
    cmp -s "$work/out.txt" "$work/from-code.txt" || fail "$type $i: recipe FILE differs from recipe CODE"
    run 0 generate --archive "$build/vorn.dat" --recipe "$file" --out "$work/again.$type" --quiet --force
    cmp -s "$work/again.$type" "$work/plain-$type/image00$i.$type" || fail "$type $i: --recipe FILE made another texture"
  done
  cmp -s "$work/again.$type" "$work/embed-$type/image001.$type" && fail "$type: the embedded file has no recipe in it"
done
run 1 recipe "$work/again.png"
[ "$(cat "$work/err.txt")" = "pallimor-cli recipe: $work/again.png holds no recipe (generate --embed-recipe writes one)" ] ||
  fail "no recipe: '$(cat "$work/err.txt")'"
run 2 generate --archive "$build/vorn.dat" --recipe "$work/again.png" --out "$work/none.png"
[ "$(wc -l <"$work/err.txt")" -eq 1 ] && [ ! -e "$work/none.png" ] || fail "--recipe of a file without one"

# --recipes: a favourites file (a comment, names, a Keep chain) makes each recipe's texture in
# turn, numbered as a batch; the same lines from standard input make the same files.
chain=P1.size=64.seed=0000002A.brush-size=16.steps=0+image=keep.effect=add.steps=0
printf '# kept\nP1.size=64.seed=00000007.steps=0 first one\n\n%s\n' "$chain" >"$work/favourites.txt"
run 0 generate --archive "$build/vorn.dat" --recipes "$work/favourites.txt" --folder "$work/favs" --type bmp \
  --name 'fav{n}'
[ "$(ls "$work/favs" | tr '\n' ' ')" = "fav000.bmp fav001.bmp " ] || fail "--recipes wrote: $(ls "$work/favs")"
k=0
for code in P1.size=64.seed=00000007.steps=0 "$chain"; do
  run 0 generate --archive "$build/vorn.dat" --recipe "$code" --out "$work/fav-alone$k.bmp"
  cmp -s "$work/fav-alone$k.bmp" "$work/favs/fav00$k.bmp" || fail "--recipes: texture $k differs from its recipe"
  k=$((k + 1))
done
(cd "$work" && "$cli" generate --archive "$build/vorn.dat" --recipes - --folder "$work/piped" --type bmp \
  <"$work/favourites.txt" >/dev/null 2>&1) || fail "--recipes - failed"
cmp -s "$work/piped/image001.bmp" "$work/favs/fav001.bmp" || fail "--recipes - made another texture"
printf 'P1.seed=0000002A\nnot-a-recipe\n' >"$work/bad.txt"
run 2 generate --archive "$build/vorn.dat" --recipes "$work/bad.txt" --folder "$work/bad"
grep -q 'line 2 of .*bad.txt is not a recipe' "$work/err.txt" && [ ! -e "$work/bad" ] ||
  fail "--recipes with a bad line: $(cat "$work/err.txt")"

# --recipes is one run: every file planned and checked before anything is drawn, one trace of all
# the recipes, and a recipe that cannot be drawn reported by its line while the others are made.
one=P1.size=64.seed=00000001.steps=0
two=P1.size=64.seed=00000002.brush-size=16.steps=0
three=P1.size=64.seed=00000003.effect=glow.steps=0
printf '%s\n' "$one" "$two" "$three" >"$work/three.txt"
run 0 generate --archive "$build/vorn.dat" --recipes "$work/three.txt" --folder "$work/three" --type png \
  --trace "$work/three.trace"
# The trace of the run: the header, then each recipe's calls as its own run traces them.
echo "# pallimor-trace 1" >"$work/expected.trace"
for code in "$one" "$two" "$three"; do
  run 0 generate --archive "$build/vorn.dat" --recipe "$code" --trace "$work/alone.trace" --force
  tail -n +2 "$work/alone.trace" >>"$work/expected.trace"
done
cmp -s "$work/three.trace" "$work/expected.trace" || fail "--recipes --trace: not one trace of all three recipes"
# A middle line made with brushes not installed: the first and third are made, line 2 is named.
printf '%s\n' "$one" P1.size=64.brushes=12345678.seed=00000002.steps=0 "$three" >"$work/foreign.txt"
for archive in "--archive $build/vorn.dat" ""; do
  rm -rf "$work/foreign"
  # shellcheck disable=SC2086
  run 1 generate $archive --recipes "$work/foreign.txt" --folder "$work/foreign" --type png --json
  [ "$(ls "$work/foreign" | tr '\n' ' ')" = "image000.png image002.png " ] ||
    fail "${archive:-search}: a foreign middle recipe: $(ls "$work/foreign" | tr '\n' ' ')"
  [ "$(wc -l <"$work/err.txt")" -eq 1 ] && grep -q "line 2 of .*foreign.txt: Recipe made with brushes 12345678" "$work/err.txt" ||
    fail "${archive:-search}: a foreign middle recipe: $(cat "$work/err.txt")"
  cmp -s "$work/foreign/image002.png" "$work/three/image002.png" || fail "${archive:-search}: the third recipe differs"
done
# --json: an entry per line, in order, the failed one with its reason and no file.
grep -q '^{"textures":\[{"index":0,"line":1,"file":"[^"]*/image000.png","seed":"00000001","recipe":"P1.size=64.seed=00000001.steps=0"},{"index":1,"line":2,"file":null,"seed":"00000002","recipe":"P1.size=64.brushes=12345678.seed=00000002.steps=0","error":"Recipe made with brushes 12345678, not installed here; installed sets: [^"]*"},{"index":2,"line":3,"file":"[^"]*/image002.png",[^}]*}\]}$' "$work/out.txt" ||
  fail "--recipes --json: $(cat "$work/out.txt")"
# The third recipe's file exists: nothing at all is written.
rm -rf "$work/taken" && mkdir "$work/taken" && echo old >"$work/taken/image002.png"
run 1 generate --archive "$build/vorn.dat" --recipes "$work/three.txt" --folder "$work/taken" --type png --trace "$work/taken.trace"
[ "$(cat "$work/err.txt")" = "File $work/taken/image002.png exists; --force replaces it" ] || fail "taken: $(cat "$work/err.txt")"
[ "$(ls "$work/taken")" = image002.png ] && [ ! -e "$work/taken.trace" ] || fail "taken: wrote $(ls "$work/taken" | tr '\n' ' ')"
echo old >"$work/taken/image000.png"
run 1 generate --archive "$build/vorn.dat" --recipes "$work/three.txt" --folder "$work/taken" --type png --json
[ "$(cat "$work/out.txt")" = "{\"textures\":[],\"existing\":[\"$work/taken/image000.png\",\"$work/taken/image002.png\"]}" ] ||
  fail "taken --json: $(cat "$work/out.txt")"

# {name}: the line's name made safe for a file name, else the seed; two lines giving one file are
# refused (status 2, one line, nothing written) unless the pattern numbers them.
printf '%s\n' "$one ../My tex*ture " "$two" "$three "$'Caf\xc3\xa9'" .x" >"$work/named.txt"
run 0 generate --archive "$build/vorn.dat" --recipes "$work/named.txt" --folder "$work/named" --type png --name '{name}'
[ "$(ls "$work/named" | tr '\n' '|')" = "00000002.png|Caf_ .x.png|_My tex_ture.png|" ] || fail "{name}: $(ls "$work/named" | tr '\n' '|')"
cmp -s "$work/named/00000002.png" "$work/three/image001.png" || fail "{name}: another texture"
printf '%s\n' "$one twin" "$two twin" >"$work/twins.txt"
run 2 generate --archive "$build/vorn.dat" --recipes "$work/twins.txt" --folder "$work/twins" --type png --name '{name}'
[ "$(cat "$work/err.txt")" = "pallimor-cli generate: --recipes: lines 1 and 2 of $work/twins.txt both give $work/twins/twin.png; add {n} to --name" ] &&
  [ ! -e "$work/twins" ] || fail "twins: $(cat "$work/err.txt")"
run 0 generate --archive "$build/vorn.dat" --recipes "$work/twins.txt" --folder "$work/twins" --type png --name '{n}-{name}'
[ "$(ls "$work/twins" | tr '\n' ' ')" = "000-twin.png 001-twin.png " ] || fail "twins with {n}: $(ls "$work/twins")"

# An archive given by --brushes draws the recipes made with it, installed or not.
run 0 archive unpack "$build/vorn.dat" "$work/own"
rm "$work"/own/extra-13-*.png
run 0 archive pack "$work/own" "$work/own.dat"
run 0 generate --brushes "$work/own.dat" --seed 9 --steps 0 --size 64 --out "$work/own.png" --json
cp "$work/out.txt" "$work/json.txt"
code=$(recipe_of 0)
[[ "$code" == *brushes=* ]] || fail "own archive: the recipe names no brushes: $code"
echo "$code" | (cd "$work" && "$cli" generate --recipes - --brushes "$work/own.dat" --folder "$work/own-out" --type png --quiet) ||
  fail "--recipes - --brushes FILE: a recipe of that archive was refused"
cmp -s "$work/own.png" "$work/own-out/image000.png" || fail "--recipes with the recipe's own archive made another texture"

# The recipe command: the brush set and the code on lines of their own, --json, and a file that
# does not exist named as missing.
run 0 recipe "$one"
[ "$(tail -n 2 "$work/out.txt" | tr '\n' '|')" = "brushes default|code $one|" ] || fail "recipe: $(tail -n 2 "$work/out.txt")"
run 0 recipe P1.brushes=40771028.seed=00000005
grep -qx "brushes ink" "$work/out.txt" || fail "recipe: no 'brushes ink' line"
run 0 recipe P1.brushes=12345678.seed=00000005
grep -qx "brushes 12345678 (not installed here)" "$work/out.txt" || fail "recipe: $(grep brushes "$work/out.txt")"
run 0 recipe --json "$one"
grep -q '^{"code":"P1.size=64.seed=00000001.steps=0","brushes":"default","links":\[{"seed":"00000001","size":"64",.*"steps":"0",.*}\]}$' "$work/out.txt" ||
  fail "recipe --json: $(cat "$work/out.txt")"
for missing in nonexist.png "$work/none/x.jpg"; do
  run 1 recipe "$missing"
  [ "$(cat "$work/err.txt")" = "pallimor-cli recipe: $missing: no such file" ] || fail "recipe $missing: $(cat "$work/err.txt")"
done

# A recipe is read from a file's head: a FIFO is refused at once (no writer is waited for), and a
# file far larger than its image data is still read for the recipe at its start.
mkfifo "$work/fifo"
(cd "$work" && timeout 20 "$cli" recipe "$work/fifo" >"$work/out.txt" 2>"$work/err.txt")
status=$?
[ $status -eq 1 ] && [ "$(cat "$work/err.txt")" = "pallimor-cli recipe: $work/fifo is not a regular file (a pipe, a socket or a device)" ] ||
  fail "recipe FIFO: status $status, $(cat "$work/err.txt")"
run 0 recipe "$work/embed-png/image001.png"
cp "$work/out.txt" "$work/small.txt"
cp "$work/embed-png/image001.png" "$work/huge.png"
truncate -s 2G "$work/huge.png"
run 0 recipe "$work/huge.png"
cmp -s "$work/out.txt" "$work/small.txt" || fail "recipe of a huge file: $(cat "$work/err.txt")"

finish cli_recipe
