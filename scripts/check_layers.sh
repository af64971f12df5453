#!/usr/bin/env bash
# Folders are layers: a source file may include headers of its own folder and of the folders
# its layer lists below, nothing else. Also refused: a header private to engine/soft included
# from outside it, and any cycle between folders. tests/ and bench/ may include anything.
# Usage: check_layers.sh [ROOT]  (the checkout by default); exit 1 with one line per fault.
set -uo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root" || exit 2

# Bottom up; a folder may include the folders after its colon.
layers=(
  "pixel:"
  "engine/soft:pixel"
  "engine:engine/soft pixel"
  "io:"
  "archive:engine engine/soft io pixel"
  "export:engine engine/soft io pixel"
  "gen:archive export engine engine/soft io pixel"
  "app/widgets:gen archive export engine engine/soft io pixel"
  "app/dialogs:app/widgets gen archive export engine engine/soft io pixel"
  "app:app/dialogs app/widgets gen archive export engine engine/soft io pixel"
  "cli:gen archive export engine engine/soft io pixel"
  "python:gen archive export engine engine/soft io pixel"
  "tools:cli gen archive export engine engine/soft io pixel"
  "web:gen archive export engine engine/soft io pixel"
)
# What engine/soft offers the folders above it; its other headers are its own.
soft_public=" SoftDevice.h SoftHost.h SoftMemory.h "

declare -A allowed
folders=()
for entry in "${layers[@]}"; do
  allowed[${entry%%:*}]=" ${entry#*:} "
  folders+=("${entry%%:*}")
done

# The layer folder a path lies in: the longest listed prefix, or nothing.
folder_of() {
  local best="" f
  for f in "${folders[@]}"; do
    if [[ $1 == "$f"/* && ${#f} -gt ${#best} ]]; then best=$f; fi
  done
  printf '%s' "$best"
}

faults=0
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
while IFS= read -r file; do
  from=$(folder_of "$file")
  [ -n "$from" ] || continue
  while IFS=: read -r line include; do
    target=$(folder_of "$include")
    # A header with no folder is the generated version header.
    [[ $include == */* ]] || continue
    if [ -z "$target" ]; then
      echo "layer fault: $file:$line includes $include, which lies in no layer" >&2
      faults=$((faults + 1))
      continue
    fi
    [ "$target" != "$from" ] || continue
    echo "$from $target" >>"$edges"
    if [[ ${allowed[$from]} != *" $target "* ]]; then
      echo "layer fault: $file:$line includes $include: $from may include only${allowed[$from]% }" >&2
      faults=$((faults + 1))
    elif [ "$target" = engine/soft ] && [[ $soft_public != *" ${include##*/} "* ]]; then
      echo "layer fault: $file:$line includes $include, private to engine/soft (outside it use${soft_public% })" >&2
      faults=$((faults + 1))
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" | sed -E 's/^([0-9]+):[^"]*"([^"]*)".*/\1:\2/')
done < <(find "${folders[@]}" -type f \( -name '*.h' -o -name '*.cpp' \) 2>/dev/null | sort -u)

# tsort names a loop on standard error and fails when the folders include each other in a ring.
if ! sort -u "$edges" | tsort >/dev/null 2>"$edges.loop"; then
  echo "layer fault: the folders include each other in a cycle:" >&2
  grep -v 'input contains a loop' "$edges.loop" | sed 's/^tsort: /  /' >&2
  faults=$((faults + 1))
fi
rm -f "$edges.loop"

if [ "$faults" -ne 0 ]; then
  echo "check_layers: $faults fault(s)" >&2
  exit 1
fi
echo "check_layers: every include goes down a layer"
