#!/usr/bin/env bash
# One real window on a virtual X server: installs the build into a temporary prefix, starts the
# program from an empty folder with a private home, waits for "Pallimor v1.0", checks that the
# preview shows a texture, that Generate changes it and that an idle window costs (almost) no
# CPU, that F5 generates, Alt+Left and Alt+Right show the textures before and after it again
# pixel for pixel, and Ctrl+T opens the Tiled View (which Escape closes alone), then
# presses Escape, answers the question about the history and checks the exit status and the
# stored JPEG quality.
# Usage: smoke_window.sh <build dir>. Screenshots are kept in <build dir>/artifacts.
set -euo pipefail

build=$(cd "${1:?usage: smoke_window.sh <build dir>}" && pwd)
for tool in xvfb-run xdotool xwininfo import convert compare; do
    command -v "$tool" >/dev/null || { echo "smoke_window: $tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts="$build/artifacts"
mkdir -p "$artifacts" "$work/cwd" "$work/home" "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
cmake --install "$build" --prefix "$work/prefix" >/dev/null

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
work=$1
artifacts=$2

fail() { echo "smoke_window: $*" >&2; [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null; exit 1; }

# The preview surface in window coordinates: PanelPreview at (4, 4) of the client area, below the
# menu bar, plus its 2-pixel bevel.
menu=0
preview() {
    import -window "$wid" "$work/shot.png" && convert "$work/shot.png" -crop "512x512+6+$((6 + menu))" +repage "$1"
}
colours() { convert "$1" -format '%k' info:; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
# Waits up to a minute until the preview differs from $1 in more than 10000 pixels; the last
# look is kept in $2. Fails with $3 when it never does.
await_change() {
    for _ in $(seq 1 300); do
        sleep 0.2
        preview "$2"
        diff=$(compare -metric AE "$1" "$2" null: 2>&1 || true)
        diff=${diff%% *}
        if [ "${diff%.*}" -gt 10000 ] 2>/dev/null; then return 0; fi
    done
    fail "$3"
}
# Waits until two looks at the preview 0.2 s apart are equal (a generation has ended); the last
# look is kept in $1. Fails with $2 when that never happens.
settle() {
    for _ in $(seq 1 100); do
        preview "$work/settling.png"; sleep 0.2; preview "$1"
        same=$(compare -metric AE "$work/settling.png" "$1" null: 2>&1 || true)
        [ "${same%% *}" = 0 ] && return 0
    done
    fail "$2"
}
# The first visible window whose name matches $1, waited for up to 10 s; empty when none shows.
find_window() {
    local id=""
    for _ in $(seq 1 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] && break
        sleep 0.1
    done
    echo "$id"
}
same_as() {
    same=$(compare -metric AE "$1" "$2" null: 2>&1 || true)
    [ "${same%% *}" = 0 ]
}

cd "$work/cwd"
# xvfb-run starts the server and goes on; on a loaded machine it may not take connections yet.
for _ in $(seq 1 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb \
    "$work/prefix/bin/pallimor" >"$work/stdout.txt" 2>"$work/stderr.txt" &
pid=$!

wid=""
for _ in $(seq 1 300); do
    wid=$(xdotool search --name '^Pallimor v1\.0$' 2>/dev/null | head -n 1 || true)
    [ -n "$wid" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended before its window appeared: $(cat "$work/stderr.txt")"
    sleep 0.1
done
[ -n "$wid" ] || fail "no window \"Pallimor v1.0\""
xwininfo -id "$wid" | grep -q 'Width: 708' || fail "the window is not 708 pixels wide"
# The 544-pixel client area with the menu bar above it.
height=$(xwininfo -id "$wid" | sed -n 's/^ *Height: //p')
[ "${height:-0}" -gt 544 ] && [ "$height" -lt 600 ] || fail "the window is $height pixels high, not 544 plus a menu bar"
menu=$((height - 544))

# The first texture: many colours, not a flat fill. It is drawn after the window appears.
n=0
for _ in $(seq 1 300); do
    preview "$work/first.png"
    n=$(colours "$work/first.png")
    [ "$n" -gt 500 ] && break
    sleep 0.2
done
cp "$work/shot.png" "$artifacts/smoke.png"
[ "$n" -gt 500 ] || fail "the preview shows no texture ($n colours)"

# Idle: under 2 % of one core over three seconds (ticks of 1/100 s).
sleep 1
before=$(cpu_ticks)
sleep 3
after=$(cpu_ticks)
echo "smoke_window: idle CPU $((after - before)) ticks in 3 s"
[ $((after - before)) -le 6 ] || fail "an idle window used $((after - before)) ticks of CPU in 3 s"

# Generate (the button's centre: PanelControls at (524, 370) of the client area, the button at
# (8, 8, 164, 24)).
xdotool mousemove --window "$wid" 614 $((390 + menu)) click 1
await_change "$work/first.png" "$work/second.png" "Generate did not change the preview"
cp "$work/shot.png" "$artifacts/smoke-generated.png"
# Wait until the commands are back (the generation has ended).
sleep 1
settle "$work/second-done.png" "the preview did not settle after Generate"

# F5 generates, whichever control has the focus.
preview "$work/before-f5.png"
xdotool windowfocus --sync "$wid" 2>/dev/null || true
xdotool key --clearmodifiers F5
await_change "$work/before-f5.png" "$work/after-f5.png" "F5 did not change the preview"
sleep 1
settle "$work/third.png" "the preview did not settle after F5"

# Alt+Left brings back the texture before F5, Alt+Right the one after it, pixel for pixel.
xdotool key --clearmodifiers alt+Left
await_change "$work/third.png" "$work/back.png" "Alt+Left did not change the preview"
settle "$work/back.png" "the preview did not settle after Alt+Left"
same_as "$work/second-done.png" "$work/back.png" || fail "Alt+Left did not show the texture before F5"
xdotool key --clearmodifiers alt+Right
await_change "$work/back.png" "$work/forward.png" "Alt+Right did not change the preview"
settle "$work/forward.png" "the preview did not settle after Alt+Right"
same_as "$work/third.png" "$work/forward.png" || fail "Alt+Right did not show the texture after F5"

# Ctrl+T: the Tiled View shows the texture; Escape there closes it and nothing else.
xdotool key --clearmodifiers ctrl+t
tid=$(find_window '^Tiled View$')
[ -n "$tid" ] || fail "Ctrl+T opened no \"Tiled View\""
sleep 0.5
import -window "$tid" "$artifacts/smoke-tiled.png"
n=$(colours "$artifacts/smoke-tiled.png")
[ "$n" -gt 500 ] || fail "the Tiled View shows no texture ($n colours)"
xdotool windowfocus --sync "$tid" 2>/dev/null || true
xdotool key --clearmodifiers Escape
for _ in $(seq 1 50); do
    [ -z "$(xdotool search --onlyvisible --name '^Tiled View$' 2>/dev/null || true)" ] && break
    sleep 0.1
done
[ -z "$(xdotool search --onlyvisible --name '^Tiled View$' 2>/dev/null || true)" ] || fail "Escape left the Tiled View open"
kill -0 "$pid" 2>/dev/null || fail "closing the Tiled View ended the program"

# Escape with textures made in this session asks first; Return takes the default answer, Yes.
xdotool windowfocus --sync "$wid" 2>/dev/null || true
xdotool key --clearmodifiers Escape
qid=$(find_window '^Pallimor$')
[ -n "$qid" ] || fail "Escape with a history asked nothing"
kill -0 "$pid" 2>/dev/null || fail "Escape ended the program without asking"
xdotool windowfocus --sync "$qid" 2>/dev/null || true
xdotool key --clearmodifiers Return
status=0
for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "Escape did not end the program"
wait "$pid" || status=$?
pid=""
[ "$status" = 0 ] || fail "exit status $status: $(cat "$work/stderr.txt")"

grep -q '^Quality=95$' "$work/config/Quorvane/Vorn.conf" || fail "Quality=95 was not stored"
echo "smoke_window: ok"
INNER

xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/inner.sh" "$work" "$artifacts"
