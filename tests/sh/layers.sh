#!/usr/bin/env bash
# The layer check passes on the tree and refuses a copy of it with one include planted up a layer
# (the archive reaching into export), across siblings (io into engine) or into engine/soft's
# private headers, naming the file and line each time.
# Usage: layers.sh BUILD_DIR (unused: the check reads the sources)
set -uo pipefail
source "$(dirname "$0")/../support/shell_test.sh"
src=$(cd "$(dirname "$0")/../.." && pwd)
check="$src/scripts/check_layers.sh"

bash "$check" "$src" >"$work/out.txt" 2>&1 || fail "the tree breaks its layers: $(cat "$work/out.txt")"

# plant FILE INCLUDE EXPECTED: a copy with INCLUDE added to FILE must fail with EXPECTED.
plant() {
  rm -rf "$work/tree"
  mkdir "$work/tree"
  (cd "$src" && cp -r pixel engine io archive export gen app cli tools "$work/tree/")
  printf '#include "%s"\n' "$2" >>"$work/tree/$1"
  local lines
  lines=$(wc -l <"$work/tree/$1")
  if bash "$check" "$work/tree" >"$work/out.txt" 2>&1; then
    fail "including $2 from $1 passed the check"
  elif ! grep -qF "$1:$lines includes $2$3" "$work/out.txt"; then
    fail "including $2 from $1: expected '$1:$lines includes $2$3' in: $(cat "$work/out.txt")"
  fi
}
plant archive/VornDb.cpp export/TileExport.h ": archive may include only"
plant io/SafeFile.cpp engine/VornDef.h ": io may include only"
plant gen/Recipe.cpp app/gen.h ": gen may include only"
plant cli/CliRecipe.cpp engine/soft/SoftRaster.h ", private to engine/soft"
plant engine/VornDef.h archive/VornDb.h ": engine may include only"

finish layers
