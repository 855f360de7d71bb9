#!/usr/bin/env bash
# End to end on a real X server: a race started from the title with real key presses,
# automatic play switched on through the command menu (Shift, its fifth row, yes),
# then the race is watched until a battle comes up. Chance is seeded from the clock,
# so the wait is bounded rather than scripted: battles are met in every race, and the
# screen is polled until the battle frame shows. Its pixels are then checked against
# the interface atlas: the frame itself, and the message window or the name plates
# drawn over it.
#
# Usage: bash battle.sh <path-to-sugoroku> <build-dir>
set -uo pipefail

game=$(readlink -f "${1:?path to the game executable}")
build=$(readlink -f "${2:?build directory holding data.dat}")
source "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/lib/common.sh"

# How long the race is watched for a battle, in seconds.
battle_wait=${BATTLE_WAIT:-200}
export BATTLE_WAIT="$battle_wait"
run_under_xvfb $((battle_wait + 80))

# --- inside the X server -------------------------------------------------------
# Each menu step below is checked on screen and pressed again if a frame missed it:
# shorter key holds do.
press_hold=0.15
press_gap=0.2

copy_data data.dat mappack.dat epack.dat
extract_atlas

start_game

# sprite_shown left top right bottom x y: the picture cut from that atlas rectangle is
# on top at (x, y): six of its opaque texels, spread over it, are on screen.
sprite_shown() {
    local tx ty
    while read -r tx ty; do
        matches $(($5 + tx)) $(($6 + ty)) $(($1 + tx)) $(($2 + ty)) || return 1
    done < <(for ty in $(seq 0 $(($4 - $2 - 1))); do
            od -An -tu1 -v -w4 -N $((($3 - $1) * 4)) -j $((4 * (($2 + ty) * 2048 + $1))) "$work/atlas.rgba" |
                awk -v ty="$ty" '$4 >= 253 && !($1 == 0 && $2 == 255 && $3 == 0) { print NR - 1, ty }'
        done | awk '{ t[NR] = $0 } END { for (i = 1; i <= 6 && NR > 0; ++i) print t[int((i - 0.5) * NR / 6) + 1] }')
}

find_battle_frame_probes

frame_shown() {
    local probe
    for probe in "${frame_probes[@]}"; do
        read -r px py _ <<<"$probe"
        matches "$px" "$py" "$px" "$py" || return 1
    done
}

sleep 1
shoot
frame_shown && fail "the title already looks like the battle frame"

# The status bar's key hint at (0, 465) reads "Z: stop the die" (atlas 1010, 1055,
# 1208, 1069) only while the player's die spins, which is when the menu offers
# automatic play; otherwise "Shift: command menu" (atlas 1212, 1285, 1424, 1299).
# The die spins when the screen is white where only the first hint has letters and
# not white where only the second has. Letters' texels are nearly opaque (alpha 250
# and up), so they show within the few steps allowed whatever lies below.
hint_rows() { # left top: the 198 x 14 texels from there as "x y r g b a"
    local ty
    for ty in $(seq 0 13); do
        od -An -tu1 -v -w4 -N $((198 * 4)) -j $((4 * (($2 + ty) * 2048 + $1))) "$work/atlas.rgba" |
            awk -v ty="$ty" '{ print NR - 1, ty, $1, $2, $3, $4 }'
    done
}
hint_rows 1010 1055 >"$work/hint_rolling.txt"
hint_rows 1212 1285 >"$work/hint_other.txt"
# Every third such texel, so that the probes spread over the whole line.
hint_probes=()
while read -r kind tx ty; do
    hint_probes+=("$kind $tx $ty")
done < <(paste -d' ' "$work/hint_rolling.txt" "$work/hint_other.txt" | awk '
    function white(r, g, b, a) { return a >= 250 && r + g + b >= 750 }
    function clear(r, g, b, a) { return a < 128 || (r == 0 && g == 255 && b == 0) || r + g + b < 300 }
    white($3, $4, $5, $6) && clear($9, $10, $11, $12) && n++ % 3 == 0 { print "on", $1, $2 }
    clear($3, $4, $5, $6) && white($9, $10, $11, $12) && m++ % 3 == 0 { print "off", $1, $2 }')
[ "${#hint_probes[@]}" -ge 8 ] || fail "the two key hints differ in too few texels to tell them apart"
die_spins() {
    local probe kind tx ty
    for probe in "${hint_probes[@]}"; do
        read -r kind tx ty <<<"$probe"
        if [ "$kind" = on ]; then
            matches "$tx" $((465 + ty)) $((1010 + tx)) $((1055 + ty)) || return 1
        else
            pixel "$tx" $((465 + ty)) | awk '{ exit !($1 + $2 + $3 < 600) }' || return 1
        fi
    done
}

press Return            # title: a new race
sleep 0.5
press Return            # team select: the first team
# The camera waits, then the player's die spins until a key stops it.
spinning=0
for _ in $(seq 1 40); do
    kill -0 "$game_pid" 2>/dev/null || { cat "$work/game.log"; fail "the game ended when the race began"; }
    shoot
    if die_spins; then
        spinning=1
        break
    fi
    sleep 0.5
done
[ "$spinning" -eq 1 ] || fail "the player's die never spun (no \"stop the die\" hint at (0, 465))"
# The menu's keys are taken on the frame they go down: each step is checked on the
# screen, and a step that a slow frame missed is pressed again.
press shift             # the command menu
for _ in 1 2 3; do
    shoot
    sprite_shown 767 181 871 199 26 106 && break
    die_spins && press shift
done
sprite_shown 767 181 871 199 26 106 || fail "Shift opened no command menu (no menu title at (26, 106))"
# The cursor (atlas 438, 596, 449, 617) at (4, 32 + 27 * row) of the window at
# (0, 100): down to row 4, automatic play.
for _ in 1 2 3 4 5 6; do
    shoot
    sprite_shown 438 596 449 617 4 240 && break
    press Down
done
shoot
sprite_shown 438 596 449 617 4 240 || fail "the menu's cursor did not reach automatic play (row 4)"
press Return            # automatic play: its question page
shoot
sprite_shown 1293 1085 1396 1105 26 106 || { press Return; shoot; }
sprite_shown 1293 1085 1396 1105 26 106 || fail "automatic play did not ask its question (no title at (26, 106))"
press Down              # yes
shoot
sprite_shown 438 596 449 617 4 159 || { press Down; shoot; }
sprite_shown 438 596 449 617 4 159 || fail "the question's cursor did not reach yes (row 1)"
press Return
# The banner at (470, 2) (atlas 1212, 1318, 1380, 1332) says the computer plays now:
# its white letters turn the screen white.
texel_xy=$(for ty in $(seq 1 12); do
        od -An -tu1 -v -w4 -N $((166 * 4)) -j $((4 * ((1318 + ty) * 2048 + 1212))) "$work/atlas.rgba" |
            awk -v ty="$ty" '$1 == 255 && $2 == 255 && $3 == 255 && $4 >= 248 { print NR - 1, ty; exit }'
    done | head -n 1)
[ -n "$texel_xy" ] || fail "the banner has no white texel in the atlas"
read -r bx by <<<"$texel_xy"
# A square event or a battle hides the status bar for a while: look for up to twenty seconds.
banner_shown() { pixel $((470 + bx)) $((2 + by)) | awk '{ exit !($1 >= 240 && $2 >= 240 && $3 >= 240) }'; }
for _ in $(seq 1 60); do
    sleep 0.3
    shoot
    banner_shown && break
done
banner_shown || fail "automatic play did not come on: no banner at (470, 2)"
echo "automatic play switched on; watching for a battle for up to ${battle_wait} s"

# Over the frame: in the message states the window at (64, 384), whose 2-pixel border
# is atlas (1, 498, 513, 594)'s; while the reels run or a clash shows, the name plates
# of atlas (910, 176, 1110, 203) at (60, 336) and (380, 336). Their left 20 pixels are
# left bare by every name.
window_shown() {
    local x
    for x in 10 100 300 500; do
        matches $((64 + x)) 384 $((1 + x)) 498 $((64 + x)) 384 || return 1
        matches $((64 + x)) 385 $((1 + x)) 499 $((64 + x)) 385 || return 1
    done
}
plates_shown() {
    local x y
    for x in 2 8 14; do
        for y in 1 13 25; do
            matches $((60 + x)) $((336 + y)) $((910 + x)) $((176 + y)) $((60 + x)) $((336 + y)) || return 1
            matches $((380 + x)) $((336 + y)) $((910 + x)) $((176 + y)) $((380 + x)) $((336 + y)) || return 1
        done
    done
}

# A battle opens on its message window and goes on to its reels within seconds, so
# the screen is polled until both have been seen over the frame.
start=$SECONDS
frames_seen=0
seen_window=0
seen_plates=0
while [ $((SECONDS - start)) -lt "$battle_wait" ]; do
    kill -0 "$game_pid" 2>/dev/null || { cat "$work/game.log"; fail "the game ended during the race"; }
    shoot
    if frame_shown; then
        [ "$frames_seen" -eq 0 ] &&
            echo "ok: the battle frame after $((SECONDS - start)) s (${#frame_probes[@]} pixels as in atlas (0, 0, 640, 480))"
        frames_seen=$((frames_seen + 1))
        if [ "$seen_window" -eq 0 ] && window_shown; then
            seen_window=1
            echo "ok: the battle's message window at (64, 384)"
        fi
        if [ "$seen_plates" -eq 0 ] && plates_shown; then
            seen_plates=1
            echo "ok: the name plates at (60, 336) and (380, 336)"
        fi
        [ "$seen_window" -eq 1 ] && [ "$seen_plates" -eq 1 ] && break
    fi
    sleep 0.2
done
[ "$frames_seen" -gt 0 ] || fail "no battle screen within ${battle_wait} s of automatic play (no battle frame seen)"
[ "$seen_window" -eq 1 ] || fail "the battle frame showed $frames_seen times, never with its message window at (64, 384)"
[ "$seen_plates" -eq 1 ] || fail "the battle frame showed $frames_seen times, never with its name plates at (60, 336)"
kill -0 "$game_pid" 2>/dev/null || fail "the game ended"
echo "PASS"
