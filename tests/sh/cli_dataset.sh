#!/usr/bin/env bash
# pallimor-cli generate's data sets: four shards run side by side make the whole run's files and
# manifest; a run killed part-way and resumed leaves what an uninterrupted run does; a --vary
# texture's recipe remakes it; the tar stream holds each texture's files under one key.
# Usage: cli_dataset.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
cli="$build/pallimor-cli"
archive="$build/vorn.dat"
source "$(dirname "$0")/../support/shell_test.sh"

common=(--archive "$archive" --seed 0x2A --size 64 --type png --quiet)

# The whole run, and the same run as four shards at once; --vary all so that the skip has to
# follow settings that differ from texture to texture. Textures 0-2, 3-5, 6-8 and 9-11.
mkdir -p "$work/whole" "$work/shards"
run_cli 0 generate "${common[@]}" --count 12 --vary all --lock steps --folder whole/set --manifest whole/m.jsonl
pids=()
for k in 0 1 2 3; do
  (cd "$work" && "$cli" generate "${common[@]}" --count 12 --vary all --lock steps --folder shards/set \
    --manifest "shards/m$k.jsonl" --shard "$k/4") &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || fail "a shard exited $?"; done
[ "$(ls "$work/whole/set" | wc -l)" -eq 12 ] || fail "the whole run wrote $(ls "$work/whole/set" | wc -l) files, not 12"
diff -r "$work/whole/set" "$work/shards/set" >/dev/null || fail "the shards' files differ from the whole run's"
cat "$work"/shards/m{0,1,2,3}.jsonl | cmp -s - "$work/whole/m.jsonl" ||
  fail "the shards' manifests do not join into the whole run's"
[ "$(wc -l <"$work/shards/m1.jsonl")" -eq 3 ] || fail "shard 1 of 4 of 12 did not make 3 textures"
grep -q '^{"file_name":"set/image011.png","index":11,' "$work/whole/m.jsonl" ||
  fail "the last manifest line does not name set/image011.png relative to the manifest"
# --lock steps kept the default.
[ "$(grep -c '"steps":1024,' "$work/whole/m.jsonl")" -eq 12 ] || fail "--lock steps did not keep Steps"

# A --vary line's recipe remakes its file.
recipe=$(sed -n 5p "$work/whole/m.jsonl" | grep -o '"recipe":"[^"]*"' | cut -d'"' -f4)
run_cli 0 generate --archive "$archive" --recipe "$recipe" --out again.png
cmp -s "$work/again.png" "$work/whole/set/image004.png" || fail "the recipe of line 5 ($recipe) does not remake image004.png"

# Without the new options the same textures come out of a plain batch (no --vary).
run_cli 0 generate "${common[@]}" --count 3 --folder plain
run_cli 0 generate "${common[@]}" --count 3 --folder listed --manifest listed/metadata.jsonl
for f in image000.png image001.png image002.png; do
  cmp -s "$work/plain/$f" "$work/listed/$f" || fail "--manifest changed $f"
done
sha=$(sha256sum "$work/listed/image001.png" | cut -d' ' -f1)
grep -q "\"sha256\":{\"image001.png\":\"$sha\"}" "$work/listed/metadata.jsonl" || fail "image001.png's sha256 is not $sha"

# Killed at some moment (SIGKILL) and resumed: the files and manifest of an uninterrupted run.
long=("${common[@]}" --count 24 --maps height --folder set --manifest m.jsonl)
mkdir -p "$work/calm" "$work/cut"
(cd "$work/calm" && "$cli" generate "${long[@]}") || fail "the uninterrupted run failed"
(cd "$work/cut" && exec "$cli" generate "${long[@]}") &
pid=$!
sleep 1.2
kill -9 "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
echo "garbage" >>"$work/cut/m.jsonl" # a torn last line, or a line of no texture, is made again
resume() { (cd "$work/cut" && "$cli" generate "${long[@]}" --resume) || fail "--resume failed"; }
resume
diff -r "$work/calm" "$work/cut" >/dev/null || fail "the resumed run's files or manifest differ from an uninterrupted run's"
# A file changed since is made again.
printf 'x' >>"$work/cut/set/image003.png"
resume
diff -r "$work/calm" "$work/cut" >/dev/null || fail "a changed file was not made again on --resume"

# A resume keeps only what this run itself would have written: a run with another seed and size
# over the folder is made again from its first line, and ends as the new run alone ends.
mixed=(--archive "$archive" --count 6 --maps height --type png --shard 0/2)
run_cli 0 generate "${mixed[@]}" --seed 1 --size 64 --folder dc --manifest dc/m.jsonl
run_cli 0 generate "${mixed[@]}" --seed 2 --size 128 --folder dc --manifest dc/m.jsonl --resume
grep -q 'line 1: made with seed 00000001, this run has 00000002' "$work/err.txt" || fail "resume over seed 1: $(cat "$work/err.txt")"
run_cli 0 generate "${mixed[@]}" --seed 2 --size 128 --folder fresh --manifest fresh/m.jsonl
cmp -s "$work/dc/m.jsonl" "$work/fresh/m.jsonl" || fail "a resume over another seed's run left another manifest"
# Refused untouched: another shard's manifest (exit 2), a manifest another run holds, a FIFO.
cp "$work/dc/m.jsonl" "$work/kept.jsonl"
run_cli 2 generate "${mixed[@]/0\/2/1/2}" --seed 2 --size 128 --folder dc --manifest dc/m.jsonl --resume
cmp -s "$work/dc/m.jsonl" "$work/kept.jsonl" || fail "shard 1 cut shard 0's manifest"
(cd "$work" && flock dc/m.jsonl sleep 3) &
sleep 0.5
run_cli 1 generate "${mixed[@]}" --seed 2 --size 128 --folder dc --manifest dc/m.jsonl --resume
grep -q 'in use by another run' "$work/err.txt" || fail "a locked manifest: $(cat "$work/err.txt")"
wait
mkfifo "$work/fifo.jsonl"
(cd "$work" && timeout 20 "$cli" generate "${mixed[@]}" --seed 2 --folder ff --manifest fifo.jsonl --resume \
  >/dev/null 2>"$work/err.txt")
[ $? -eq 1 ] && grep -q 'not a regular file' "$work/err.txt" || fail "a FIFO manifest: $(cat "$work/err.txt")"
# A smaller count cuts the lines past it (shard 0 of 4 textures is 0 and 1); a link planted at an output name is replaced itself,
# never its target; a killed save's hidden file of the run's names goes.
echo "victim" >"$work/victim.txt"
rm "$work/dc/image001.png" && ln -s "$work/victim.txt" "$work/dc/image001.png"
touch "$work/dc/.image001.png.Ab3xYz"
rm "$work/dc/image000_height.png" && mkfifo "$work/dc/image000_height.png" # no hash may wait on it
(cd "$work" && timeout 60 "$cli" generate "${mixed[@]}" --seed 2 --size 128 --count 4 --folder dc \
  --manifest dc/m.jsonl --resume >/dev/null 2>"$work/err.txt") || fail "resume over a link and a FIFO: $(cat "$work/err.txt")"
grep -q "line 1: image000_height.png is missing or cannot be read" "$work/err.txt" ||
  fail "a FIFO at an output name: $(cat "$work/err.txt")"
[ "$(wc -l <"$work/dc/m.jsonl")" -eq 2 ] || fail "--count 4 of 2 shards kept $(wc -l <"$work/dc/m.jsonl") lines"
[ "$(cat "$work/victim.txt")" = victim ] && [ -f "$work/dc/image001.png" ] && [ ! -L "$work/dc/image001.png" ] ||
  fail "the link planted at image001.png was followed"
cmp -s "$work/dc/image001.png" "$work/fresh/image001.png" || fail "image001.png was not made again"
[ ! -e "$work/dc/.image001.png.Ab3xYz" ] || fail "the hidden file of a killed save stayed"
# Paths that would overwrite each other are refused before anything is drawn.
for args in "--folder ov --manifest ov/image001.png --force" "--folder ov --manifest ov/t.tar --tar ov/t.tar" \
            "--folder ov --tar t.tar --name {n}-abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz"; do
  # shellcheck disable=SC2086
  run_cli 2 generate --archive "$archive" --seed 1 --count 2 --size 64 --type png $args
done
[ -z "$(ls "$work/ov" 2>/dev/null)" ] || fail "a refused run wrote $(ls "$work/ov")"
run_cli 2 generate --archive "$archive" --seed 1 --size 64 --trace tt.png --out tt.png
(cd "$work" && "$cli" generate --archive "$archive" --seed 1 --size 64 --count 2 --folder js --json >/dev/full 2>"$work/err.txt")
[ $? -eq 1 ] && grep -q 'standard output' "$work/err.txt" || fail "--json into a full device: $(cat "$work/err.txt")"

# The tar stream: KEY.png, KEY.height.png and KEY.json per texture, in order.
run_cli 0 generate "${common[@]}" --count 2 --maps height --folder tarred --tar set.tar
want=$'image000.png\nimage000.height.png\nimage000.json\nimage001.png\nimage001.height.png\nimage001.json'
[ "$(tar tf "$work/set.tar")" = "$want" ] || fail "the tar stream holds: $(tar tf "$work/set.tar" | tr '\n' ' ')"
tar xOf "$work/set.tar" image001.height.png | cmp -s - "$work/tarred/image001_height.png" ||
  fail "the tar's image001.height.png is not the file written"

# Usage errors: status 2 and one line.
for args in "--shard auto/4" "--shard 4/4" "--image keep --manifest m.jsonl" "--resume"; do
  # shellcheck disable=SC2086
  (cd "$work" && env -u SLURM_ARRAY_TASK_ID -u JOB_COMPLETION_INDEX -u AWS_BATCH_JOB_ARRAY_INDEX \
    "$cli" generate --seed 1 --count 4 --folder bad $args >/dev/null 2>"$work/err.txt")
  status=$?
  [ "$status" -eq 2 ] && [ "$(wc -l <"$work/err.txt")" -eq 1 ] || fail "generate $args: status $status, $(cat "$work/err.txt")"
done
(cd "$work" && SLURM_ARRAY_TASK_ID=-9223372036854775808 SLURM_ARRAY_TASK_MIN=9223372036854775807 \
  "$cli" generate --seed 1 --count 4 --folder bad --shard auto/4 >/dev/null 2>"$work/err.txt")
[ $? -eq 2 ] && grep -q 'SLURM_ARRAY_TASK_ID is not a shard number' "$work/err.txt" || fail "SLURM extremes: $(cat "$work/err.txt")"
[ ! -e "$work/bad" ] || fail "a refused run made its folder"
(cd "$work" && JOB_COMPLETION_INDEX=2 "$cli" generate "${common[@]}" --count 4 --folder auto --shard auto/4) ||
  fail "--shard auto/4 with JOB_COMPLETION_INDEX=2 failed"
[ "$(ls "$work/auto")" = "image002.png" ] || fail "JOB_COMPLETION_INDEX=2 of 4 made $(ls "$work/auto")"

finish cli_dataset
