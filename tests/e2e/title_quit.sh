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
fail_shows_log=1
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

# The title picture fills the screen; the menu panel (368 x 122) is centred at y 200,
# so it covers x 136..503, y 200..321. Its left margin at (140, 300) is reached by
# no label, and the selection bar lies in its cell's row only.
picture() { echo $((1407 + $1)) $((1567 + $2)); } # title picture texel under (x, y)
panel() { echo $((1010 + $1 - 136)) $((1127 + $2 - 200)); }
# title_on x y: the title, its selection bar on the cell at (x, y).
title_on() {
    matches 60 300 $(picture 60 300) && matches 140 300 $(panel 140 300) $(picture 140 300) &&
        matches $(($1 + 2)) $(($2 + 13)) $((370 + 2)) $((709 + 13)) $(panel $(($1 + 2)) $(($2 + 13))) \
            $(picture $(($1 + 2)) $(($2 + 13)))
}

await "$screen_wait" "the title" title_on 138 202
expect "title picture" 60 300 $(picture 60 300)
expect "title picture" 600 100 $(picture 600 100)
expect "menu panel" 140 300 $(panel 140 300) $(picture 140 300)
expect "menu panel" 500 250 $(panel 500 250) $(picture 500 250)
# The selection bar behind the first entry (cell at 138, 202).
expect "selection bar on entry 0" 140 215 $((370 + 2)) $((709 + 13)) $(panel 140 215) $(picture 140 215)

# Right moves the bar to the second entry (cell at 321, 202).
step Right "the bar on entry 1" title_on 321 202
expect "panel where the bar was" 140 215 $(panel 140 215) $(picture 140 215)
expect "selection bar on entry 1" 323 215 $((370 + 2)) $((709 + 13)) $(panel 323 215) $(picture 323 215)

# Entry 1 opens the quit dialog on the tiled background (32 x 32 tiles from 0, 0).
step Return "the quit dialog" quit_dialog_row 0
expect "dialog background tile" 60 300 $((404 + 60 % 32)) $((596 + 300 % 32))
expect "dialog background tile" 620 460 $((404 + 620 % 32)) $((596 + 460 % 32))
# "No" is chosen first: the answer brings the title back, the game goes on.
step Return "the title after no" title_on 138 202
expect "title picture after no" 60 300 $(picture 60 300)
expect "selection bar back on entry 0" 140 215 $((370 + 2)) $((709 + 13)) $(panel 140 215) $(picture 140 215)

# In full screen the X server, with no window manager to resize the window, keeps it
# at 640 x 480, while the game draws for the 1024 x 768 screen: its picture scaled by
# 1.6, texel by nearest texel, the bottom-left corner at the window's. The window then
# shows the scaled picture's bottom 480 rows. full_screen_view keeps that view of the
# last (windowed) picture, and full_screen_shows holds when no more than 1% of the last
# picture's pixels differ from it by more than 3% in colour.
full_screen_view() { # name
    convert -size 640x480 -depth 8 "rgb:$work/shot.rgb" -filter point -resize 1024x768 \
        -crop 640x480+0+288 +repage -depth 8 "rgb:$work/$1.full" || fail "could not scale a picture"
}
full_screen_shows() { # name
    local differ
    differ=$(compare -metric AE -fuzz 3% -size 640x480 -depth 8 "rgb:$work/shot.rgb" "rgb:$work/$1.full" null: 2>&1)
    [[ "$differ" =~ ^[0-9]+$ ]] && [ "$differ" -le 3072 ]
}
full_screen_view title0

# The options' first row (windowed or full screen): the cursor at (100, 108) and the
# value at (360, 108).
options_row0() { # window|full
    local value="515 541 614 560"
    [ "$1" = full ] && value="516 521 655 539"
    cursor_at 100 108 && sprite_shown $value 360 108
}

# Options (entry 2): switch to full screen and back. Each switch releases the
# graphics device and creates it anew in the same window; the game must go on
# drawing its title afterwards.
step Down "the bar on entry 2" title_on 138 232
full_screen_view title2
step Return "the options" options_row0 window
# In full screen the options' first row lies above the window: this view serves for
# either of its values.
full_screen_view options
step Right "full screen chosen" options_row0 full
step Return "the title in full screen" full_screen_shows title0
echo "ok: switched to full screen"

# Back in a window. While full screen, whether Right took shows only after Return: the title comes back in a window, or
# still in full screen when a slow frame missed Right; then the options are opened
# again.
title_after_switch() { title_on 138 202 || full_screen_shows title0 || { locate_window; false; }; }
for try in 1 2 3; do
    step Down "the bar on entry 2 in full screen" full_screen_shows title2
    step Return "the options in full screen" full_screen_shows options
    press Right
    step Return "the title" title_after_switch
    title_on 138 202 && break
    [ "$try" -lt 3 ] || fail_with_shot "Right and Return in the options left full screen on three tries"
done
echo "ok: switched to windowed"
size=$(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$size" = "640x480" ] || fail "back in a window, the client area is $size"
locate_window
shoot
expect "title picture after the display changes" 60 300 $(picture 60 300)
expect "menu panel after the display changes" 140 300 $(panel 140 300) $(picture 140 300)

# The quit dialog again, and this time yes.
step Right "the bar on entry 1" title_on 321 202
step Return "the quit dialog" quit_dialog_row 0
step Down "yes" quit_dialog_row 1
step Return "the game's end" game_ended

await_exit
if [ -z "$status" ]; then
    fail "the game did not end within $screen_wait s of answering yes"
fi
[ "$status" -eq 0 ] || fail "the game exited with code $status"
[ -f "$work/save.dat" ] || fail "shutdown did not write the race history (save.dat)"
echo "PASS: title, quit dialog (no, then yes), display switches, exit code 0"
exit 0
