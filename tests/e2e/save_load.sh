#!/usr/bin/env bash
# End to end on a real X server: a race is saved from the command menu (Shift, save,
# slot 0, yes), the game is quit and started again, the slot is loaded from the title
# (continue, slot 0, yes), and the board shows the race as it was: the team panel's
# pixels and the rest of the picture match the moment before saving.
#
# Usage: bash save_load.sh <path-to-sugoroku> <build-dir>
set -uo pipefail

game=$(readlink -f "${1:?path to the game executable}")
build=$(readlink -f "${2:?build directory holding data.dat}")
here=$(readlink -f "${BASH_SOURCE[0]}")

if [ "${SAVE_LOAD_INNER:-}" != 1 ]; then
    if ! command -v xvfb-run >/dev/null 2>&1; then
        echo "SKIP: xvfb-run is not installed"
        exit 0
    fi
    for tool in xdotool xwininfo import convert od awk; do
        command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool is missing"; exit 1; }
    done
    export SAVE_LOAD_INNER=1
    timeout -k 5 200 xvfb-run -a -s "-screen 0 1024x768x24" bash "$here" "$game" "$build"
    rc=$?
    [ $rc -eq 124 ] && echo "FAIL: the end-to-end run timed out"
    exit $rc
fi

# --- inside the X server -------------------------------------------------------
unset SDL_VIDEODRIVER
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0"
fi

work=$(mktemp -d)
game_pid=""
stop_game() {
    if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then
        kill "$game_pid" 2>/dev/null
        for _ in 1 2 3 4 5 6; do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.5; done
        kill -9 "$game_pid" 2>/dev/null
    fi
    game_pid=""
}
cleanup() { stop_game; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -f "$work/game.log" ] && cat "$work/game.log"; exit 1; }

for f in data.dat mappack.dat epack.dat; do
    [ -f "$build/$f" ] || fail "no $f in $build"
    cp "$build/$f" "$work/"
done
cd "$work"

start_game() {
    "$game" >>"$work/game.log" 2>&1 &
    game_pid=$!
    wid=$(timeout 30 xdotool search --sync --onlyvisible --pid "$game_pid" 2>/dev/null | head -n 1)
    [ -n "$wid" ] || fail "the game showed no window"
    local origin
    origin=$(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print x, y}')
    read -r wx wy <<<"$origin"
    timeout 10 xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
    sleep 1
}

# Keys are polled once per 17 ms frame: hold each for ~100 ms, then let a frame see it up.
press() {
    timeout 5 xdotool keydown "$1" || fail "could not press $1"
    sleep 0.1
    timeout 5 xdotool keyup "$1" || fail "could not release $1"
    sleep 0.15
}

shoot() { # out.rgb: the window's 640 x 480 pixels, one "r g b" line each
    rm -f "$work/root.png"
    timeout 20 import -window root "$work/root.png" || fail "screenshot failed"
    convert "$work/root.png" -crop "640x480+$wx+$wy" +repage -depth 8 rgb:- | od -An -v -tu1 -w3 >"$1"
}

# Per cent of the pixels inside x0..x1, y0..y1 that agree within 6 steps per channel;
# the spinning die at the top left is left out.
agreement() { # a.rgb b.rgb x0 y0 x1 y1
    paste -d' ' "$1" "$2" | awk -v x0="$3" -v y0="$4" -v x1="$5" -v y1="$6" '{
            i = NR - 1; x = i % 640; y = int(i / 640)
            if (x < x0 || x > x1 || y < y0 || y > y1) next
            if (x < 80 && y < 60) next
            n++
            if ($1 - $4 <= 6 && $4 - $1 <= 6 && $2 - $5 <= 6 && $5 - $2 <= 6 && $3 - $6 <= 6 && $6 - $3 <= 6) same++
        } END { printf "%d\n", n ? 100 * same / n : 0 }'
}

# A race: new race from the title, the first team; its die spins at the start.
start_game
shoot "$work/title.rgb"
press Return
sleep 1
press Return
sleep 2
kill -0 "$game_pid" 2>/dev/null || fail "the game ended when the race began"
shoot "$work/before.rgb"
[ "$(agreement "$work/before.rgb" "$work/title.rgb" 0 0 639 479)" -lt 50 ] || fail "the race did not start"

# Shift opens the command menu; save is its fourth row. Slot 0, then yes.
press shift
for _ in 1 2 3; do press Down; done
press Return
sleep 0.5
press Return
press Down
press Return
sleep 0.5
[ -s "$work/save0.dat" ] || fail "no save0.dat after saving"
size=$(stat -c %s "$work/save0.dat")
[ $(( (size - 92) % 922 )) -eq 0 ] || fail "save0.dat has $size bytes, not 92 + 922 x N"
echo "ok: saved $size bytes"
press Return
press Escape

# Quit, start again, load slot 0 from the title: continue is the second row's right entry.
stop_game
start_game
press Right
press Down
press Return
sleep 0.5
press Return
press Down
press Return
sleep 2
kill -0 "$game_pid" 2>/dev/null || fail "the game ended when the slot was loaded"
shoot "$work/after.rgb"
panel=$(agreement "$work/before.rgb" "$work/after.rgb" 2 24 317 133)
whole=$(agreement "$work/before.rgb" "$work/after.rgb" 0 0 639 479)
echo "after loading: team panel $panel%, whole window $whole% as before saving"
[ "$panel" -ge 97 ] || fail "the team panel differs from the saved race's ($panel% alike)"
[ "$whole" -ge 85 ] || fail "the board differs from the saved race's ($whole% alike)"
echo "PASS: a race saved from the command menu loads from the title after a restart as it was"
exit 0
