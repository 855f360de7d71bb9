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
source "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/lib/common.sh"
shot_tool="$build/tools/screenshot/screenshot"

run_under_xvfb 280

# --- inside the X server -------------------------------------------------------
# The turns below were timed with keys held ~100 ms.
press_hold=0.1
press_gap=0.15

copy_data data.dat mappack.dat epack.dat
[ -x "$shot_tool" ] || fail "no screenshot command at $shot_tool"
extract_atlas

# The pictures to compare with, drawn by the screenshot command from the same data:
# the title, and the board 90 frames after the race began (title: Return; team
# select: Return on the first team; the player's die then spins until a key stops it).
mkdir "$work/ref"
cp "$work"/*.dat "$work/ref/"
"$shot_tool" --frames 10 --out "$work/title.png" --data-dir "$work/ref" >/dev/null ||
    fail "the screenshot command could not draw the title"
"$shot_tool" --frames 130 --keys "10 return 20 return 90" --out "$work/board.png" --data-dir "$work/ref" >/dev/null ||
    fail "the screenshot command could not draw the board"

start_game

as_rgb "$work/title.png" "$work/title.rgb"
as_rgb "$work/board.png" "$work/board.rgb"
# Black where the board should be would make any two pictures alike.
black=$(awk '$1 + $2 + $3 == 0 { n++ } END { printf "%d\n", 100 * n / NR }' "$work/board.rgb")
[ "$black" -lt 50 ] || fail "the screenshot command's board is $black% black"
reference_gap=$(agreement "$work/title.rgb" "$work/board.rgb")
[ "$reference_gap" -lt 50 ] || fail "the screenshot command's board looks like its title ($reference_gap% alike): did the race start?"

like() { # reference.rgb: per cent of the last shot's pixels as in the reference
    shot_lines "$work/now.rgb"
    agreement "$work/now.rgb" "$1"
}
title_shown() { [ "$(like "$work/title.rgb")" -ge 97 ]; }

# Title: the first entry is a new race; team select: the first team is in front.
await "$screen_wait" "the title" title_shown
step Return "team select" team_select_shown
step Return "the race" not_team_select
# The camera comes to rest on the player's piece, whose die spins until a key stops it.
since=$SECONDS
until alike=$(like "$work/board.rgb") && [ "$alike" -ge 97 ]; do
    [ $((SECONDS - since)) -lt "$screen_wait" ] ||
        fail_with_shot "the board at the start differs from the screenshot command's ($alike% alike)"
    sleep 0.5
    alive
    shoot
done
cp "$work/now.rgb" "$work/start.rgb"
echo "ok: the board at the race's start, $alike% of the pixels as the screenshot command draws them"

# Six rounds of turns at least, and on until the view has moved, for up to two minutes:
# Return stops the die (and pages any message), the arrows choose the way on every
# square; a closed way is refused and the next arrow tried. The computer teams take
# their turns in between. A key that a slow frame misses only makes a round count less.
moved=0
round=0
since=$SECONDS
while [ "$round" -lt 6 ] || [ "$moved" -eq 0 ]; do
    [ $((SECONDS - since)) -lt 120 ] ||
        fail "the board view never moved away from the start in $round rounds of turns ($((SECONDS - since)) s)"
    round=$((round + 1))
    for _ in 1 2; do
        for key in Return Right Left Down Up; do press "$key"; done
    done
    kill -0 "$game_pid" 2>/dev/null || { cat "$work/game.log"; fail "the game ended during the turns (round $round)"; }
    shoot
    like_title=$(like "$work/title.rgb")
    [ "$like_title" -lt 50 ] || fail "round $round: the title is back ($like_title% alike)"
    like_start=$(like "$work/start.rgb")
    echo "round $round: $like_start% of the pixels as at the start"
    [ "$like_start" -lt 70 ] && moved=1
done
echo "PASS: race started from the title, board drawn as expected, turns played with the keys"
exit 0
