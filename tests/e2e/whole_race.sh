#!/usr/bin/env bash
# End to end on a real X server, with real key presses: a whole race on stage 1.
#
#   1. Title (not mistaken for the battle frame), a new race, the first team. The player
#      takes three turns by hand: stops the die, picks a way on every square (and at the
#      fork), pages event messages, answers choices and presses on through battles. A
#      team beaten to the last member sends the game back to the title: the player then
#      starts a new race.
#   2. With the die spinning again: Shift (the menu offers automatic play), save, slot 0,
#      yes. The picture of that moment is kept. Back to the title through the command
#      menu, and quit through the title's quit dialog: the game ends with status 0.
#   3. The game starts again; the title's load entry takes slot 0, and the board shows
#      the race as it was (the team panel and the rest of the picture as kept).
#   4. Automatic play through the command menu (its banner only once chosen); the race
#      runs on by itself, the screen watched picture after picture until at least one
#      battle has shown, with its message window and its name plates over the frame, and
#      the ranking comes up (if the player's team is beaten first, or the race brought no
#      battle to the pictures, slot 0 is loaded again).
#      Return adds the race to the history and shows the history screen; the window's
#      close request then ends the game with status 0.
#   5. The slot file and the history file are read back field by field.
#
# Chance is seeded from the clock, so nothing here counts on a frame number: every key
# but the hand-played turns' is held until the screen shows what it leads to.
# A stage-1 race runs about 10,000 to 17,000 frames at 59 a second: five minutes and
# a little more for the menus on an idle machine; the bounds are for a loaded one.
#
# Usage: bash whole_race.sh <path-to-sugoroku> <build-dir>
set -uo pipefail

game=$(readlink -f "${1:?path to the game executable}")
build=$(readlink -f "${2:?build directory holding data.dat}")
source "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/lib/common.sh"

run_under_xvfb 1500

# --- inside the X server -------------------------------------------------------
press_hold=0.12
press_gap=0.15
# The game runs twice here: what it said goes with any failure.
fail_shows_log=1

copy_data data.dat mappack.dat epack.dat
extract_atlas

# --- What the screen shows -------------------------------------------------------

# The status bar's key hint at (0, 465) reads "Z: stop the die" (atlas 1010, 1055,
# 1208, 1069) only while the player's die spins, otherwise "Shift: command menu"
# (atlas 1212, 1285, 1424, 1299). The die spins when the screen is white where only
# the first hint has letters and dark where only the second has.
hint_on=()
hint_off=()
while read -r kind tx ty; do
    if [ "$kind" = on ]; then hint_on+=("$tx $ty"); else hint_off+=("$tx $ty"); fi
done < <(for ty in $(seq 0 13); do
        paste -d' ' \
            <(od -An -tu1 -v -w4 -N $((198 * 4)) -j $((4 * ((1055 + ty) * 2048 + 1010))) "$work/atlas.rgba") \
            <(od -An -tu1 -v -w4 -N $((198 * 4)) -j $((4 * ((1285 + ty) * 2048 + 1212))) "$work/atlas.rgba") |
            awk -v ty="$ty" '
                function white(r, g, b, a) { return a >= 250 && r + g + b >= 750 }
                function clear(r, g, b, a) { return a < 128 || (r == 0 && g == 255 && b == 0) || r + g + b < 300 }
                white($1, $2, $3, $4) && clear($5, $6, $7, $8) { print "on", NR - 1, ty }
                clear($1, $2, $3, $4) && white($5, $6, $7, $8) { print "off", NR - 1, ty }'
    done | awk '$1 == "on" && n++ % 3 == 0 || $1 == "off" && m++ % 3 == 0')
[ "${#hint_on[@]}" -ge 4 ] && [ "${#hint_off[@]}" -ge 4 ] ||
    fail "the two key hints differ in too few texels to tell them apart"
die_spins() {
    local probe
    for probe in "${hint_on[@]}"; do
        read -r tx ty <<<"$probe"
        pixel "$tx" $((465 + ty)) | awk '{ exit !($1 + $2 + $3 >= 690) }' || return 1
    done
    for probe in "${hint_off[@]}"; do
        read -r tx ty <<<"$probe"
        pixel "$tx" $((465 + ty)) | awk '{ exit !($1 + $2 + $3 < 600) }' || return 1
    done
}

find_battle_frame_probes
battle_shown() {
    local probe
    for probe in "${frame_probes[@]}"; do
        read -r px py r g b <<<"$probe"
        close_to "$r $g $b" "$(pixel "$px" "$py")" || return 1
    done
}

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

# How often the battle screen was seen: once more each time it shows after a picture
# without it (a battle's 3D clash hides it between rounds). The window and the plates
# are looked for on the same pictures until each has been seen once.
battles=0
in_battle=0
seen_window=0
seen_plates=0
watch_battle() {
    if battle_shown; then
        [ "$in_battle" -eq 0 ] && [ "$battles" -eq 0 ] && echo "ok: a battle on screen ($((SECONDS - started_at)) s)"
        [ "$in_battle" -eq 0 ] && battles=$((battles + 1))
        in_battle=1
        if [ "$seen_window" -eq 0 ] && window_shown; then
            seen_window=1
            echo "ok: the battle's message window at (64, 384)"
        fi
        if [ "$seen_plates" -eq 0 ] && plates_shown; then
            seen_plates=1
            echo "ok: the name plates at (60, 336) and (380, 336)"
        fi
    else
        in_battle=0
    fi
}

# Screens.
title_bar_at() { sprite_shown 370 709 388 737 "$1" "$2"; } # the title's selection bar, left of its label
menu_open() { sprite_shown 767 181 871 199 26 106; }        # "command menu" heading
menu_row() { menu_open && cursor_at 4 $((132 + 27 * $1)); }
two_item_row() { cursor_at 4 $((132 + 27 * $1)); }         # the menu's question pages
slots_shown() { sprite_shown "$1" "$2" 901 "$3" 253 90; }   # save or load heading
slot_confirm_row() { cursor_at 251 $((192 + 27 * $1)); }
saved_shown() { sprite_shown 850 363 1004 391 243 180; }
# The ranking panel at (0, 120): its top strip above the heading, which the rows, the
# player's highlight and the faces never cover; the heading at (253, 136).
ranking_shown() {
    sprite_shown 1407 971 2047 983 0 120 && sprite_shown 1607 974 1847 984 200 123 &&
        sprite_shown 1063 363 1198 390 253 136
}
# The history's title plate at (225, 40), left of its caption, and the caption over it.
history_shown() { sprite_shown 873 249 906 279 225 40 && sprite_shown 1010 1780 1130 1800 260 42; }
not_spinning() { ! die_spins; }
not_load_slots() { ! slots_shown 767 154 179; }
slots_without_message() { slots_shown 767 127 152 && ! saved_shown; }
# The status bar keeps its die hint under the save slots: the slots must be gone too.
race_resumed() { ! slots_shown 767 127 152 && die_spins; }
automatic_play_question() { sprite_shown 1293 1085 1396 1105 26 106; }
not_automatic_play_question() { ! automatic_play_question; }

# --- 1. A race, three turns by hand --------------------------------------------------
# A team whose last member falls ends the race with game over and the title comes back;
# chance can do that to the player's team within the first turns. The player then starts
# again, as anyone would: a new race, up to three times.

# new_race: from the title to the player's die spinning on a new race's board.
new_race() {
    step Return "team select" team_select_shown
    # The camera shows the board first; the die spins a few seconds later.
    step Return "the board" not_team_select
    await "$screen_wait" "the player's die spinning" die_spins
}

# until_die_spins limit: plays on by hand until the player's die spins: every square
# gets the four ways in turn (the first open one is taken; a closed one is refused),
# and Return pages messages, answers choices and presses on through battles. Return
# goes only when the die was not seen spinning, so as not to stop it unseen: the look
# for it is a fresh picture just before Return, as the die may begin to spin while the
# battle screen is looked for (the moment left between that picture and the key is
# allowed for when the slot file is read). Returns 1 when the game went back to the title.
until_die_spins() {
    local since=$SECONDS key
    while [ $((SECONDS - since)) -lt "$1" ]; do
        alive
        shoot
        watch_battle
        shoot
        die_spins && return 0
        # Return on the title would start a new race unseen.
        title_bar_at 138 202 && return 1
        press Return
        for key in Down Right Left Up; do press "$key"; done
    done
    fail_with_shot "the player's die did not spin again within $1 s"
}

# play_by_hand n: n turns by hand, the die spinning again after the last; returns 1
# when the player's team was beaten on the way.
play_by_hand() {
    local turn
    for turn in $(seq 1 "$1"); do
        [ "$turn" -eq 1 ] || until_die_spins 300 || return 1
        step Return "turn $turn: the die stopped by hand" not_spinning
    done
    until_die_spins 300
}

start_game
await "$screen_wait" "title" title_bar_at 138 202
battle_shown && fail_with_shot "the title already looks like the battle frame"
manual_turns=3
attempt=1
new_race
until play_by_hand "$manual_turns"; do
    echo "ok: the player's team was beaten and the title came back (race $attempt)"
    [ "$attempt" -lt 3 ] || fail_with_shot "the player's team was beaten in three races running"
    attempt=$((attempt + 1))
    new_race
done
echo "ok: $manual_turns turns played by hand"

# --- 2. Save, back to the title, quit ----------------------------------------------
shoot "$work/before.rgb"
step shift "the command menu" menu_row 0
# While the player's die spins the menu offers automatic play (its label at (38, 243)).
sprite_shown 1315 1085 1395 1105 38 243 || fail_with_shot "the command menu does not offer automatic play"
for row in 1 2 3; do step Down "menu row $row" menu_row "$row"; done
step Return "the save slots" slots_shown 767 127 152
cursor_at 64 141 || fail_with_shot "the save slots' cursor is not on slot 0"
step Return "the save question" slot_confirm_row 0
step Down "yes" slot_confirm_row 1
[ -e "$work/save0.dat" ] && fail "save0.dat is there before the race was saved"
step Return "\"saved\"" saved_shown
[ -s "$work/save0.dat" ] || fail_with_shot "no save0.dat after saving"
cp "$work/save0.dat" "$work/saved-slot.dat"
echo "ok: saved $(stat -c %s "$work/save0.dat") bytes"
step Return "the save slots again" slots_without_message
step Escape "the race resumed" race_resumed

step shift "the command menu" menu_row 0
for row in 1 2 3 4 5 6; do step Down "menu row $row" menu_row "$row"; done
step Return "the question: back to the title" two_item_row 0
step Down "yes" two_item_row 1
step Return "the title" title_bar_at 138 202
step Right "the quit entry" title_bar_at 321 202
step Return "the quit dialog" quit_dialog_row 0
step Down "yes" quit_dialog_row 1
step Return "the game's end" game_ended
await_exit
[ -n "$status" ] || fail_with_shot "the game did not end after the quit dialog's yes"
[ "$status" -eq 0 ] || fail "the game ended with status $status after the quit dialog"
echo "ok: quit from the title with status 0"
# The history is written at every shutdown: ten empty records, as no race was finished.
[ "$(od -An -v -tu1 "$work/save.dat" 2>/dev/null | tr -s ' \n' '\n' | grep -c '^0$')" -eq 520 ] ||
    fail "save.dat after the first run is not 520 bytes of empty history"
cmp -s "$work/save0.dat" "$work/saved-slot.dat" || fail "save0.dat changed after the save"

# --- 3. Start again, load slot 0 --------------------------------------------------
# load_slot0: from the title to the loaded race, its die spinning.
load_slot0() {
    step Right "title column 2" title_bar_at 321 202
    step Down "the load entry" title_bar_at 321 232
    step Return "the load slots" slots_shown 767 154 179
    sprite_shown 1006 363 1058 380 388 145 || fail_with_shot "slot 0 does not show its stage label"
    step Return "the load question" slot_confirm_row 0
    step Down "yes" slot_confirm_row 1
    step Return "the loaded race" not_load_slots
    await "$screen_wait" "the player's die spinning" die_spins
}

start_game
await "$screen_wait" "title" title_bar_at 138 202
load_slot0
# The pictures are compared until they agree or $screen_wait s have passed: the camera
# may still be on its way to the player's piece.
loaded_as_saved() {
    shot_lines "$work/after.rgb"
    panel=$(agreement "$work/before.rgb" "$work/after.rgb" 2 24 317 133)
    whole=$(agreement "$work/before.rgb" "$work/after.rgb" 0 0 639 479)
    [ "$panel" -ge 97 ] && [ "$whole" -ge 85 ]
}
since=$SECONDS
until loaded_as_saved || [ $((SECONDS - since)) -ge "$screen_wait" ]; do
    sleep 0.5
    alive
    shoot
done
echo "after loading: team panel $panel%, whole window $whole% as before saving"
[ "$panel" -ge 97 ] || fail_with_shot "the team panel differs from the saved race's ($panel% alike)"
[ "$whole" -ge 85 ] || fail_with_shot "the board differs from the saved race's ($whole% alike)"

# --- 4. Automatic play to the ranking ------------------------------------------------
# automatic_play: switches it on through the command menu and watches the race run on;
# returns 0 at the ranking, 1 when the player's team was beaten (the title is back).
automatic_play() {
    local from row
    step shift "the command menu" menu_row 0
    for row in 1 2 3 4; do step Down "menu row $row" menu_row "$row"; done
    step Return "the automatic play question" automatic_play_question
    step Down "yes" two_item_row 1
    sprite_shown 1212 1318 1380 1332 470 2 && fail_with_shot "the automatic play banner shows before yes was pressed"
    step Return "the question answered" not_automatic_play_question
    # Its banner at (470, 2) (atlas 1212, 1318, 1380, 1332): white letters. A square event
    # or a battle may hide the status bar for a while.
    await "$screen_wait" "automatic play" sprite_shown 1212 1318 1380 1332 470 2
    # Picture after picture, with no pause: a battle may show its frame for a few seconds
    # only, and on a busy machine each look takes one or two.
    from=$SECONDS
    while [ $((SECONDS - from)) -lt 900 ]; do
        alive
        shoot
        watch_battle
        ranking_shown && return 0
        title_bar_at 138 202 && return 1
    done
    fail_with_shot "no ranking screen within $((SECONDS - from)) s of automatic play"
}

race_from=$SECONDS
attempt=1
reruns=0
while :; do
    if ! automatic_play; then
        echo "ok: the player's team was beaten and the title came back (loaded race $attempt)"
        [ "$attempt" -lt 3 ] || fail_with_shot "the player's team was beaten in three loaded races running"
        attempt=$((attempt + 1))
        load_slot0
        continue
    fi
    [ "$battles" -ge 1 ] && [ "$seen_window" -eq 1 ] && [ "$seen_plates" -eq 1 ] && break
    # Chance may bring a race to its end without a battle, or with one too short for the
    # pictures of a busy machine: Escape leaves the ranking unrecorded for the title, and
    # the saved race runs again, up to twice more (what was seen of battles counts on).
    [ "$reruns" -lt 2 ] || break
    reruns=$((reruns + 1))
    echo "ok: the ranking came with $battles battles seen (window $seen_window, plates $seen_plates): slot 0 again"
    step Escape "the title" title_bar_at 138 202
    load_slot0
done
echo "ok: the ranking screen after $((SECONDS - race_from)) s of automatic play"
[ "$battles" -ge 1 ] || fail "the race ended without a battle seen on screen"
[ "$seen_window" -eq 1 ] || fail "the battle frame showed $battles times, never with its message window at (64, 384)"
[ "$seen_plates" -eq 1 ] || fail "the battle frame showed $battles times, never with its name plates at (60, 336)"
[ "$(od -An -v -tu1 "$work/save.dat" | tr -s ' \n' '\n' | grep -c '^0$')" -eq 520 ] ||
    fail "save.dat changed before the ranking was confirmed"

minute_before=$(($(date +%s) / 60 * 60))
step Return "the history screen" history_shown
minute_after=$(date +%s)
# Confirming the ranking writes the history at once, not only at shutdown.
[ "$(od -An -v -td4 -N4 -j20 "$work/save.dat" | tr -d ' ')" -eq 1 ] ||
    fail "save.dat holds no stage-1 race right after the ranking was confirmed"
# The window system's quit request (SDL turns SIGTERM into the same) ends the game
# cleanly from any screen.
kill -TERM "$game_pid"
await_exit
[ -n "$status" ] || fail_with_shot "the game did not end within $screen_wait s of the quit request"
[ "$status" -eq 0 ] || fail "the game exited with status $status after the quit request"
echo "ok: the quit request ended the game with status 0"

# --- 5. The files ---------------------------------------------------------------------
i32() { od -An -td4 -N4 -j "$2" "$1" | tr -d ' '; }
f32() { od -An -tf4 -N4 -j "$2" "$1" | tr -d ' '; }
float_is() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a - b < 0.001 && b - a < 0.001) }'; }

# save0.dat: stage, player's team, the race result (13 words), the piece count N at
# 60, N pieces of 922 bytes from 64, then the camera (7 floats): 92 + 922 x N bytes.
slot="$work/save0.dat"
size=$(stat -c %s "$slot")
n=$(i32 "$slot" 60)
[ "$n" -ge 1 ] && [ "$n" -le 7 ] || fail "save0.dat holds $n pieces; stage 1 has 3 teams and 4 monster groups"
[ "$size" -eq $((92 + 922 * n)) ] || fail "save0.dat is $size bytes, not 92 + 922 x $n"
[ "$(i32 "$slot" 0)" -eq 1 ] || fail "save0.dat's stage is $(i32 "$slot" 0), not 1"
[ "$(i32 "$slot" 4)" -eq 0 ] || fail "save0.dat's player's team is $(i32 "$slot" 4), not 0"
# The stage map's ground rows, to see where the pieces stand.
mapfile -t ground < <(awk '/^ground$/ { on = 1; next } on && NF { print; if (++n == 30) exit }' \
    "$(dirname "$e2e_script")/../../content/stages/stage1.map")
[ "${#ground[@]}" -eq 30 ] || fail "stage 1's map has no 30 ground rows"
teams=0
racing=""
player_pieces=0
for i in $(seq 0 $((n - 1))); do
    at=$((64 + 922 * i))
    controller=$(i32 "$slot" $((at + 4)))
    team=$(i32 "$slot" $((at + 8)))
    members=$(i32 "$slot" $((at + 12)))
    live=$(i32 "$slot" $((at + 16)))
    what="save0.dat piece $i (controller $controller, id $team)"
    [ "$live" -ge 1 ] && [ "$live" -le "$members" ] || fail "$what: $live of $members members standing"
    case "$controller" in
    0 | 1)
        teams=$((teams + 1))
        racing="$racing $team "
        [ "$team" -ge 0 ] && [ "$team" -le 2 ] || fail "$what: no team id"
        [ "$members" -eq 6 ] || fail "$what: $members members, not 6"
        first=$((6 * team))
        ;;
    2)
        case "$team" in
        3) [ "$members" -eq 3 ] || fail "$what: the roaming spider group has $members members, not 3"; first=18 ;;
        4) [ "$members" -eq 2 ] || fail "$what: a road monster group has $members members, not 2"; first=21 ;;
        *) fail "$what: no monster group of stage 1" ;;
        esac
        ;;
    *) fail "$what: no such controller" ;;
    esac
    # The members' character ids (each 114-byte record from 188): the group's own,
    # in any order (battles sort them by hit points).
    ids=$(for m in $(seq 0 $((members - 1))); do i32 "$slot" $((at + 188 + 114 * m)); done | sort -n | tr '\n' ' ')
    want=$(seq "$first" $((first + members - 1)) | tr '\n' ' ')
    [ "$ids" = "$want" ] || fail "$what: members $ids, not $want"
    # At rest on a cell's centre (x = 2 column - 29, z = 29 - 2 row, y 0.25), facing
    # a quarter turn, on walkable ground.
    x=$(f32 "$slot" $((at + 36)))
    y=$(f32 "$slot" $((at + 40)))
    z=$(f32 "$slot" $((at + 44)))
    heading=$(f32 "$slot" $((at + 48)))
    float_is "$y" 0.25 || fail "$what: y $y, not 0.25"
    read -r column row <<<"$(awk -v x="$x" -v z="$z" 'BEGIN { printf "%d %d\n", (x + 29) / 2, (29 - z) / 2 }')"
    float_is "$x" $((2 * column - 29)) && float_is "$z" $((29 - 2 * row)) ||
        fail "$what: ($x, $z) is not the centre of a cell"
    [ "$column" -ge 0 ] && [ "$column" -lt 30 ] && [ "$row" -ge 0 ] && [ "$row" -lt 30 ] ||
        fail "$what: ($x, $z) is off the board"
    cell=${ground[$row]:$column:1}
    case "$cell" in [A-E=:]) ;; *) fail "$what: stands on '$cell' at column $column, row $row" ;; esac
    case "$heading" in 0 | 90 | 180 | 270) ;; *) fail "$what: heading $heading" ;; esac
    faces=$(i32 "$slot" $((at + 64)))
    [ "$faces" -eq 6 ] || [ "$faces" -eq 3 ] || fail "$what: a die of $faces faces"
    if [ "$controller" -eq 0 ]; then
        player_pieces=$((player_pieces + 1))
        [ "$team" -eq 0 ] || fail "$what: the player's hand on team $team"
        case "$cell" in [A-E]) ;; *) fail "$what: the player's team waits off a square ('$cell')" ;; esac
        progress=$(i32 "$slot" $((at + 60)))
        [ "$progress" -ge "$manual_turns" ] || fail "$what: progress $progress after $manual_turns turns"
        # The team's name, CP932, NUL-padded to 50 bytes at 872.
        name=$(od -An -tx1 -v -j $((at + 872)) -N 50 "$slot" | tr -s ' \n' ' ')
        [ "$name" = " 93 8c 82 cc 93 a2 94 b0 91 e0$(printf ' 00%.0s' $(seq 1 40)) " ] ||
            fail "$what: the team's name reads$name"
        echo "ok: the player's team at column $column, row $row, progress $progress"
    fi
done
[ "$player_pieces" -eq 1 ] || fail "save0.dat has $player_pieces pieces under the player's hand, not 1"
left=$(i32 "$slot" 52)
[ "$left" -eq "$teams" ] || fail "save0.dat counts $left teams racing but holds $teams"
# The turns by hand are three as far as the pictures showed, but a Return meant for a
# message may stop a die that began to spin just after the last look, and more turns
# pass: a computer team may be at the goal by the save. Whatever the turns, the places
# taken from the top (byte 8 the next one) and from the bottom (byte 56) leave exactly
# the teams on the board racing, the player's among them; a placed team is a computer
# team with no piece, placed once, with its leader, and the player's team is noted.
top=$(i32 "$slot" 8)
bottom=$(i32 "$slot" 56)
[ "$top" -ge 0 ] && [ "$bottom" -eq $((top + teams - 1)) ] ||
    fail "save0.dat's next places from the top ($top) and from the bottom ($bottom) do not leave $teams teams racing"
[ "$(i32 "$slot" 12)" -eq 0 ] || fail "save0.dat notes team $(i32 "$slot" 12) as the player's at the goal"
placed=""
for p in 0 1 2; do
    [ "$p" -lt "$top" ] || [ "$p" -gt "$bottom" ] || continue
    team=$(i32 "$slot" $((16 + 4 * p)))
    leader=$(i32 "$slot" $((28 + 4 * p)))
    what="save0.dat's place $((p + 1)) (team $team)"
    [ "$team" -eq 1 ] || [ "$team" -eq 2 ] || fail "$what: not a computer team"
    case "$racing$placed" in *" $team "*) fail "$what: the team races or is placed twice" ;; esac
    placed="$placed $team "
    [ "$leader" -ge $((6 * team)) ] && [ "$leader" -lt $((6 * team + 6)) ] || fail "$what: leader $leader"
    [ "$p" -ge "$top" ] || [ "$(i32 "$slot" $((40 + 4 * p)))" -eq 1 ] || fail "$what: not at the goal under the computer"
done
[ "$top" -eq 0 ] || echo "ok: computer teams at the goal by the save: $top, placed soundly"
for k in 0 1 2 3 4 5 6; do
    v=$(f32 "$slot" $((64 + 922 * n + 4 * k)))
    awk -v v="$v" 'BEGIN { exit !(v == v + 0 && v > -1e6 && v < 1e6) }' || fail "save0.dat's camera word $k is $v"
done
echo "ok: save0.dat holds $n pieces, $teams teams, field by field sound"

# save.dat: ten records of 52 bytes, newest first, little-endian i32 fields: years
# since 1900, month, day, hour, minute, stage, player's team, the three placed teams,
# their three leaders.
[ -f "$work/save.dat" ] || fail "no save.dat after the race"
[ "$(stat -c %s "$work/save.dat")" -eq 520 ] || fail "save.dat is $(stat -c %s "$work/save.dat") bytes, not 520"
read -r -a f <<<"$(od -An -v -td4 -N52 "$work/save.dat" | tr -s ' \n' ' ')"
echo "newest entry: ${f[*]}"
when=$(date -d "$((f[0] + 1900))-$((f[1] + 1))-${f[2]} ${f[3]}:${f[4]}" +%s 2>/dev/null) ||
    fail "the entry's date ${f[*]:0:5} is no date"
[ "$when" -ge "$minute_before" ] && [ "$when" -le "$minute_after" ] ||
    fail "the entry's time $(date -d "@$when") is not when the ranking was confirmed"
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
echo "PASS: stage 1 played by hand, saved, quit, loaded, raced to the ranking (the battle screen seen" \
    "$battles times), the history written; $((SECONDS - started_at)) s"
exit 0
