#!/usr/bin/env bash
# End to end on a real X server: a race started from the title with real key presses;
# on the board a real Shift press opens the command menu over the board, automatic
# play is chosen and confirmed on its question page, and the computer-play banner
# then shows at the top of the board while the race goes on.
#
# Usage: bash command_menu.sh <path-to-sugoroku> <build-dir>
set -uo pipefail

game=$(readlink -f "${1:?path to the game executable}")
build=$(readlink -f "${2:?build directory holding data.dat}")
source "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/lib/common.sh"

run_under_xvfb 150

# --- inside the X server -------------------------------------------------------
copy_data data.dat mappack.dat epack.dat
start_game
extract_atlas

sleep 1
press Return            # title: a new race
sleep 0.5
press Return            # team select: the first team
# The camera waits, then the player's die spins until a key stops it.
sleep 4
press shift
sleep 0.5
shoot
expect_sprite "menu title" 767 181 871 199 26 106
expect_sprite "menu cursor on resume" 438 596 449 617 4 132
expect_sprite "automatic play offered" 1315 1085 1395 1105 38 243

for _ in 1 2 3 4; do press Down; done
press Return            # automatic play: its question page
for _ in $(seq 1 10); do
    shoot
    (expect_sprite "question" 1293 1085 1396 1105 26 106) >/dev/null 2>&1 && break
    sleep 0.3
done
expect_sprite "automatic play question" 1293 1085 1396 1105 26 106
# The banner's letters are white and nearly opaque over whatever the camera shows:
# one of its texels must turn the screen white, and was not white under the menu.
texel=$(convert "$work/atlas.png" -crop 168x14+1212+1318 +repage txt:- |
    awk 'NR > 1 && $3 ~ /^#FFFFFF(F[8-9A-F])$/ { sub(":", "", $1); print $1; exit }' | tr ',' ' ')
[ -n "$texel" ] || fail "the banner has no white texel in the atlas"
read -r bx by <<<"$texel"
white_at() { pixel $((470 + bx)) $((2 + by)) | awk '{ exit !($1 >= 240 && $2 >= 240 && $3 >= 240) }'; }
white_at && fail "the banner's place was already white before automatic play"

press Down
press Return            # yes
# The banner belongs to the status bar, which a square event or a battle hides for a
# while: the computer may reach one within a second. Look for it for up to twenty seconds.
for _ in $(seq 1 60); do
    shoot
    white_at && break
    sleep 0.3
done
white_at || fail "no computer-play banner at (470, 2): pixel is $(pixel $((470 + bx)) $((2 + by)))"
echo "ok: computer-play banner at (470, 2)"
kill -0 "$game_pid" 2>/dev/null || fail "the game ended"
echo "PASS"
