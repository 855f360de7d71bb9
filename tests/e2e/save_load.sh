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
source "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/lib/common.sh"

run_under_xvfb 200

# --- inside the X server -------------------------------------------------------
# The menu steps below were timed with keys held ~100 ms.
press_hold=0.1
press_gap=0.15
# The game runs twice here: what it said goes with any failure.
fail_shows_log=1

copy_data data.dat mappack.dat epack.dat

# A race: new race from the title, the first team; its die spins at the start.
start_game
sleep 1
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
sleep 1
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
