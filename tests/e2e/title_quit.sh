#!/usr/bin/env bash
# End to end on a real X server: the game opens its 640 x 480 window with its
# caption, shows the title menu where it belongs, survives switching to full screen
# and back from the options, and quits cleanly through the quit dialog (first
# answering no, then yes), exiting with code 0 after writing the race history.
#
# Usage: bash title_quit.sh <path-to-sugoroku> <build-dir>
set -uo pipefail

game=$(readlink -f "${1:?path to the game executable}")
build=$(readlink -f "${2:?build directory holding data.dat}")
source "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/lib/common.sh"

run_under_xvfb 150

# --- inside the X server -------------------------------------------------------
copy_data data.dat --optional mappack.dat epack.dat
start_game

# xdotool's name search does not match multibyte captions: the game's window is found
# by its process, and the caption compared byte for byte.
title="ペルタナのすごろく"
name=$(xdotool getwindowname "$wid")
[ "$name" = "$title" ] || fail "caption is '$name', expected '$title'"

size=$(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$size" = "640x480" ] || fail "client area is $size, expected 640x480"

extract_atlas

# Give the title a few frames to be drawn, then look at it.
sleep 1
shoot
kill -0 "$game_pid" 2>/dev/null || fail "the game ended before its title was shown"

# The title picture fills the screen; the menu panel (368 x 122) is centred at y 200,
# so it covers x 136..503, y 200..321. Its left margin at (140, 300) is reached by
# no label, and the selection bar of the first entry lies in row 0 only.
picture() { echo $((1407 + $1)) $((1567 + $2)); } # title picture texel under (x, y)
panel() { echo $((1010 + $1 - 136)) $((1127 + $2 - 200)); }
expect "title picture" 60 300 $(picture 60 300)
expect "title picture" 600 100 $(picture 600 100)
expect "menu panel" 140 300 $(panel 140 300) $(picture 140 300)
expect "menu panel" 500 250 $(panel 500 250) $(picture 500 250)
# The selection bar behind the first entry (cell at 138, 202).
expect "selection bar on entry 0" 140 215 $((370 + 2)) $((709 + 13)) $(panel 140 215) $(picture 140 215)

# Right moves the bar to the second entry (cell at 321, 202).
press Right
shoot
expect "panel where the bar was" 140 215 $(panel 140 215) $(picture 140 215)
expect "selection bar on entry 1" 323 215 $((370 + 2)) $((709 + 13)) $(panel 323 215) $(picture 323 215)

# Entry 1 opens the quit dialog on the tiled background (32 x 32 tiles from 0, 0).
press Return
sleep 0.3
shoot
expect "dialog background tile" 60 300 $((404 + 60 % 32)) $((596 + 300 % 32))
expect "dialog background tile" 620 460 $((404 + 620 % 32)) $((596 + 460 % 32))
# "No" is chosen first: the answer brings the title back, the game goes on.
press Return
sleep 0.3
shoot
kill -0 "$game_pid" 2>/dev/null || fail "answering no ended the game"
expect "title picture after no" 60 300 $(picture 60 300)
expect "selection bar back on entry 0" 140 215 $((370 + 2)) $((709 + 13)) $(panel 140 215) $(picture 140 215)

# Options (entry 2): switch to full screen and back. Each switch releases the
# graphics device and creates it anew in the same window; the game must go on
# drawing its title afterwards.
for mode in "full screen" "windowed"; do
    press Down
    press Return
    press Right # row 0: windowed / full screen
    press Return
    sleep 1
    kill -0 "$game_pid" 2>/dev/null || { cat "$work/game.log"; fail "switching to $mode ended the game"; }
    echo "ok: switched to $mode"
done
size=$(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$size" = "640x480" ] || fail "back in a window, the client area is $size"
# A new device takes a moment to draw its first frame: wait for it, up to ten seconds.
for _ in $(seq 1 20); do
    locate_window
    shoot
    (expect "title" 60 300 $(picture 60 300)) >/dev/null 2>&1 && break
    sleep 0.5
done
expect "title picture after the display changes" 60 300 $(picture 60 300)
expect "menu panel after the display changes" 140 300 $(panel 140 300) $(picture 140 300)

# The quit dialog again, and this time yes.
press Right
press Return
press Down
press Return

await_exit
if [ -z "$status" ]; then
    fail "the game did not end within 10 s of answering yes"
fi
[ "$status" -eq 0 ] || { cat "$work/game.log"; fail "the game exited with code $status"; }
[ -f "$work/save.dat" ] || fail "shutdown did not write the race history (save.dat)"
echo "PASS: title, quit dialog (no, then yes), display switches, exit code 0"
exit 0
