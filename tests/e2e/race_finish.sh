#!/usr/bin/env bash
# End to end on a real X server: a race on stage 1 played to its end. From the title a
# new race for the first team; on the board the command menu's automatic play hands
# the player's team to the computer; the race runs until the ranking screen shows
# over the board; Return adds the race to the history and shows the history screen;
# then the game is closed from there. save.dat then holds the race as its newest entry.
#
# A race on stage 1 takes about 10,000 frames at 59 a second (15,000 in the longest
# simulated races), so this test is by far the longest of the end-to-end runs.
#
# Usage: bash race_finish.sh <path-to-sugoroku> <build-dir>
set -uo pipefail

game=$(readlink -f "${1:?path to the game executable}")
build=$(readlink -f "${2:?build directory holding data.dat}")
source "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/lib/common.sh"

run_under_xvfb 450

# --- inside the X server -------------------------------------------------------
# The menu steps below were timed with keys held ~100 ms.
press_hold=0.1
press_gap=0.15

copy_data data.dat mappack.dat epack.dat
start_game
extract_atlas

# shows what left top right bottom x y: like expect_sprite, but only answers.
shows() {
    (expect_sprite "$@") >/dev/null 2>&1
}

sleep 1
press Return            # title: a new race (stage 1 is chosen at start)
sleep 0.5
press Return            # team select: the first team
# The camera waits, then the player's die spins: the menu offers automatic play now.
sleep 4
press shift
sleep 0.5
shoot
expect_sprite "automatic play offered" 1315 1085 1395 1105 38 243
for _ in 1 2 3 4; do press Down; done
press Return            # automatic play: its question page
sleep 0.3
press Down
press Return            # yes
echo "ok: automatic play chosen; waiting for the race to end"

# The ranking panel (640 wide, centred at y 120) with its heading (centred at y 136)
# over the board; looked for every few seconds.
ranking=0
started=$SECONDS
while [ $((SECONDS - started)) -lt 380 ]; do
    sleep 4
    kill -0 "$game_pid" 2>/dev/null || { cat "$work/game.log"; fail "the game ended during the race"; }
    shoot
    if shows "ranking panel" 1407 971 2047 1221 0 120 && shows "ranking heading" 1063 363 1198 390 253 136; then
        ranking=1
        break
    fi
done
if [ "$ranking" -ne 1 ]; then
    cp "$work/shot.png" "$build/race_finish_last.png" 2>/dev/null # kept to look at
    fail "no ranking screen within $((SECONDS - started)) s of automatic play (last picture: race_finish_last.png)"
fi
echo "ok: ranking screen after about $((SECONDS - started)) s"
[ -f "$work/save.dat" ] && fail "save.dat was written before the ranking was confirmed"

press Return            # the race goes into the history
sleep 1.5
shoot
expect_sprite "history title plate" 873 249 1063 279 225 40
echo "ok: history screen"

# Quit as the window's close button does: the window system's quit request (SDL
# turns SIGTERM into the same request) ends the game cleanly from any screen.
sleep 2
kill -TERM "$game_pid"

await_exit
if [ -z "$status" ]; then
    shoot
    cp "$work/shot.png" "$build/race_finish_last.png" 2>/dev/null # kept to look at
    fail "the game did not end within 10 s of the quit request (last picture: race_finish_last.png)"
fi
[ "$status" -eq 0 ] || { cat "$work/game.log"; fail "the game exited with code $status"; }

# save.dat: ten records of 52 bytes, newest first, little-endian i32 fields: years
# since 1900, month, day, hour, minute, stage, player's team, the three placed teams,
# their three leaders.
[ -f "$work/save.dat" ] || fail "no save.dat after the race"
[ "$(stat -c %s "$work/save.dat")" -eq 520 ] || fail "save.dat is $(stat -c %s "$work/save.dat") bytes, not 520"
read -r -a f <<<"$(od -An -v -td4 -N52 "$work/save.dat" | tr -s ' \n' ' ')"
echo "newest entry: ${f[*]}"
[ "${f[0]}" -ge 120 ] || fail "the entry's year ${f[0]} is not this century's"
[ "${f[5]}" -eq 1 ] || fail "the entry's stage is ${f[5]}, not 1"
[ "${f[6]}" -eq 0 ] || fail "the entry's player's team is ${f[6]}, not 0"
places=$(printf '%s\n' "${f[7]}" "${f[8]}" "${f[9]}" | sort | tr '\n' ' ')
[ "$places" = "0 1 2 " ] || fail "the entry's places ${f[7]} ${f[8]} ${f[9]} are not the three teams"
for p in 0 1 2; do
    team=${f[$((7 + p))]}
    leader=${f[$((10 + p))]}
    [ "$leader" -ge $((6 * team)) ] && [ "$leader" -lt $((6 * team + 6)) ] ||
        fail "place $((p + 1)): leader $leader is not a member of team $team"
done
read -r -a rest <<<"$(od -An -v -td4 -j52 "$work/save.dat" | tr -s ' \n' ' ')"
for v in "${rest[@]}"; do [ "$v" -eq 0 ] || fail "save.dat holds more than the one race"; done
echo "PASS: stage 1 raced to the ranking screen, the history screen, quit; save.dat holds the race"
exit 0
