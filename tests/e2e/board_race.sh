#!/usr/bin/env bash
# End to end on a real X server: a race started from the title with real key presses
# (new race, the first team) shows the board exactly as the screenshot command draws
# the same start; then a few turns are played by pressing Return and the direction
# keys, and the board goes on being drawn while the camera follows the pieces.
#
# Usage: bash board_race.sh <path-to-sugoroku> <build-dir>
set -uo pipefail

game=$(readlink -f "${1:?path to the game executable}")
build=$(readlink -f "${2:?build directory holding data.dat}")
here=$(readlink -f "${BASH_SOURCE[0]}")
shot_tool="$build/tools/screenshot/screenshot"

if [ "${BOARD_RACE_INNER:-}" != 1 ]; then
    if ! command -v xvfb-run >/dev/null 2>&1; then
        echo "SKIP: xvfb-run is not installed"
        exit 0
    fi
    for tool in xdotool xwininfo import convert od awk; do
        command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool is missing"; exit 1; }
    done
    export BOARD_RACE_INNER=1
    timeout -k 5 200 xvfb-run -a -s "-screen 0 1024x768x24" bash "$here" "$game" "$build"
    rc=$?
    [ $rc -eq 124 ] && echo "FAIL: the end-to-end run timed out"
    exit $rc
fi

# --- inside the X server -------------------------------------------------------
unset SDL_VIDEODRIVER # draw to the X server, not offscreen
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
# As in title_quit.sh: only memory errors count here, the headless tests check leaks.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0"
fi

work=$(mktemp -d)
game_pid=""
cleanup() {
    if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then
        kill "$game_pid" 2>/dev/null
        for _ in 1 2 3 4 5 6; do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.5; done
        kill -9 "$game_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

for f in data.dat mappack.dat epack.dat; do
    [ -f "$build/$f" ] || fail "no $f in $build"
    cp "$build/$f" "$work/"
done
[ -x "$shot_tool" ] || fail "no screenshot command at $shot_tool"

# The pictures to compare with, drawn by the screenshot command from the same data:
# the title, and the board 90 frames after the race began (title: Return; team
# select: Return on the first team; the player's die then spins until a key stops it).
mkdir "$work/ref"
cp "$work"/*.dat "$work/ref/"
"$shot_tool" --frames 10 --out "$work/title.png" --data-dir "$work/ref" >/dev/null ||
    fail "the screenshot command could not draw the title"
"$shot_tool" --frames 130 --keys "10 return 20 return 90" --out "$work/board.png" --data-dir "$work/ref" >/dev/null ||
    fail "the screenshot command could not draw the board"

cd "$work"
"$game" >"$work/game.log" 2>&1 &
game_pid=$!

wid=$(timeout 30 xdotool search --sync --onlyvisible --pid "$game_pid" 2>/dev/null | head -n 1)
[ -n "$wid" ] || { cat "$work/game.log"; fail "the game showed no window"; }
locate_window() {
    local origin
    origin=$(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print x, y}')
    read -r wx wy <<<"$origin"
}
locate_window
timeout 10 xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"

# Keys are polled once per 17 ms frame: hold each for ~100 ms, then let a frame see it up.
press() {
    timeout 5 xdotool keydown "$1" || fail "could not press $1"
    sleep 0.1
    timeout 5 xdotool keyup "$1" || fail "could not release $1"
    sleep 0.15
}

# The window's 640 x 480 pixels as one "r g b" line each, row by row.
shoot() { # out.rgb
    rm -f "$work/root.png"
    timeout 20 import -window root "$work/root.png" || fail "screenshot failed"
    convert "$work/root.png" -crop "640x480+$wx+$wy" +repage -depth 8 rgb:- | od -An -v -tu1 -w3 >"$1"
}
as_rgb() { # in.png out.rgb
    convert "$1" -depth 8 rgb:- | od -An -v -tu1 -w3 >"$2"
}

# Share of pixels, in per cent, that agree within 6 steps in every channel; the die
# face at the top left is left out, as the two runs stop it at different faces.
agreement() { # a.rgb b.rgb
    paste -d' ' "$1" "$2" | awk '{
            i = NR - 1; x = i % 640; y = int(i / 640)
            if (x < 80 && y < 60) next
            n++
            if ($1 - $4 <= 6 && $4 - $1 <= 6 && $2 - $5 <= 6 && $5 - $2 <= 6 && $3 - $6 <= 6 && $6 - $3 <= 6) same++
        } END { printf "%d\n", n ? 100 * same / n : 0 }'
}

as_rgb "$work/title.png" "$work/title.rgb"
as_rgb "$work/board.png" "$work/board.rgb"
# Black where the board should be would make any two pictures alike.
black=$(awk '$1 + $2 + $3 == 0 { n++ } END { printf "%d\n", 100 * n / NR }' "$work/board.rgb")
[ "$black" -lt 50 ] || fail "the screenshot command's board is $black% black"
reference_gap=$(agreement "$work/title.rgb" "$work/board.rgb")
[ "$reference_gap" -lt 50 ] || fail "the screenshot command's board looks like its title ($reference_gap% alike): did the race start?"

# Title: the first entry is a new race; team select: the first team is in front.
# A slow machine may not have opened team select when the second Return comes, so
# Return is pressed again until the board shows (on the board it only stops the die).
sleep 1
press Return
alike=0
for attempt in 1 2 3 4 5 6; do
    sleep 0.5
    press Return
    sleep 1.5
    kill -0 "$game_pid" 2>/dev/null || { cat "$work/game.log"; fail "the game ended when the race began"; }
    shoot "$work/start.rgb"
    alike=$(agreement "$work/start.rgb" "$work/board.rgb")
    echo "board at the start (try $attempt): $alike% of the pixels as the screenshot command draws them"
    [ "$alike" -ge 97 ] && break
done
[ "$alike" -ge 97 ] || fail "the board at the start differs from the screenshot command's ($alike% alike)"
echo "ok: the board at the race's start"

# A few turns: Return stops the die (and pages any message), the arrows choose the
# way on every square; a closed way is refused and the next arrow tried. The computer
# teams take their turns in between.
moved=0
for round in 1 2 3 4 5 6; do
    for _ in 1 2; do
        for key in Return Right Left Down Up; do press "$key"; done
    done
    sleep 1
    kill -0 "$game_pid" 2>/dev/null || { cat "$work/game.log"; fail "the game ended during the turns (round $round)"; }
    shoot "$work/now.rgb"
    like_title=$(agreement "$work/now.rgb" "$work/title.rgb")
    [ "$like_title" -lt 50 ] || fail "round $round: the title is back ($like_title% alike)"
    like_start=$(agreement "$work/now.rgb" "$work/start.rgb")
    echo "round $round: $like_start% of the pixels as at the start"
    [ "$like_start" -lt 70 ] && moved=1
done
[ "$moved" -eq 1 ] || fail "the board view never moved away from the start in six rounds of turns"
echo "PASS: race started from the title, board drawn as expected, turns played with the keys"
exit 0
