#!/usr/bin/env bash
# Takes the README's screenshot of the main window, docs/screenshot.png: starts the program of a
# build tree on a virtual X server, waits until the preview shows the first texture and captures
# the window. Usage: make_screenshot.sh [BUILD_DIR] (default build).
# Needs xvfb-run (xvfb, xauth), xdotool and ImageMagick (import, convert).
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(cd "${1:-build}" && pwd)/pallimor
[ -x "$program" ] || { echo "make_screenshot: build $program first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"

cat >"$work/shoot.sh" <<'INNER'
set -euo pipefail
program=$1 work=$2 out=$3
HOME="$work/home" XDG_CONFIG_HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
  "$program" >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
wid=""
for _ in $(seq 1 300); do
  wid=$(xdotool search --name '^Pallimor v' 2>/dev/null | head -n 1 || true)
  [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] || { echo "make_screenshot: no window" >&2; exit 1; }
# The first texture is drawn after the window appears: wait for a preview of many colours.
for _ in $(seq 1 300); do
  import -window "$wid" "$work/shot.png"
  [ "$(convert "$work/shot.png" -crop 512x512+6+6 -format '%k' info:)" -gt 500 ] && break
  sleep 0.2
done
cp "$work/shot.png" "$out"
INNER
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/shoot.sh" "$program" "$work" "$PWD/docs/screenshot.png"
echo "make_screenshot: wrote docs/screenshot.png"
