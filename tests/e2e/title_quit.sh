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
here=$(readlink -f "${BASH_SOURCE[0]}")

if [ "${TITLE_QUIT_INNER:-}" != 1 ]; then
    if ! command -v xvfb-run >/dev/null 2>&1; then
        echo "SKIP: xvfb-run is not installed"
        exit 0
    fi
    for tool in xdotool xwininfo import convert od; do
        command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool is missing"; exit 1; }
    done
    export TITLE_QUIT_INNER=1
    timeout -k 5 150 xvfb-run -a -s "-screen 0 1024x768x24" bash "$here" "$game" "$build"
    rc=$?
    [ $rc -eq 124 ] && echo "FAIL: the end-to-end run timed out"
    exit $rc
fi

# --- inside the X server -------------------------------------------------------
unset SDL_VIDEODRIVER # draw to the X server, not offscreen
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
# Under the sanitizers: the X and GL libraries that SDL opens at run time are closed
# again before the leak check, so their own allocations can be neither attributed
# nor suppressed. The game's leaks are checked by the headless tests; here only
# memory errors count.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0"
fi

work=$(mktemp -d)
game_pid=""
cleanup() {
    if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then kill "$game_pid" 2>/dev/null; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

[ -f "$build/data.dat" ] || fail "no data.dat in $build"
for f in data.dat mappack.dat epack.dat; do
    [ -f "$build/$f" ] && cp "$build/$f" "$work/"
done

cd "$work"
"$game" >"$work/game.log" 2>&1 &
game_pid=$!

title="ペルタナのすごろく"
# xdotool's name search does not match multibyte captions: find the game's window
# by its process, then compare the caption byte for byte.
wid=$(timeout 30 xdotool search --sync --onlyvisible --pid "$game_pid" 2>/dev/null | head -n 1)
[ -n "$wid" ] || { cat "$work/game.log"; fail "the game showed no window"; }

name=$(xdotool getwindowname "$wid")
[ "$name" = "$title" ] || fail "caption is '$name', expected '$title'"

size=$(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
[ "$size" = "640x480" ] || fail "client area is $size, expected 640x480"

# The window's top-left corner on the root window, to read its pixels from a screenshot.
locate_window() {
    local origin
    origin=$(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print x, y}')
    read -r wx wy <<<"$origin"
}
locate_window

timeout 10 xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"

# The game polls its keys once per 17 ms frame: hold each key for ~100 ms and let
# the next frame see it released before the next one.
press() {
    timeout 5 xdotool keydown "$1" || fail "could not press $1"
    sleep 0.1
    timeout 5 xdotool keyup "$1" || fail "could not release $1"
    sleep 0.15
}

# The interface atlas is block 0 of data.dat: a table of 150 offsets (600 bytes),
# then at 600 + offset the block's length and its bytes. Screen pixels are checked
# against the atlas texels that the layout puts there.
u32_at() { od -An -tu4 -N4 -j "$1" "$work/data.dat" | tr -d ' '; }
block_offset=$(u32_at 0)
block_length=$(u32_at $((600 + block_offset)))
tail -c +$((600 + block_offset + 4 + 1)) "$work/data.dat" | head -c "$block_length" >"$work/atlas.bmp"
convert "$work/atlas.bmp" "$work/atlas.png" 2>/dev/null || fail "block 0 of data.dat is not an image"

rgb_of() { # image x y: prints "r,g,b"
    convert "$1" -format "%[fx:int(255*p{$2,$3}.r+0.5)],%[fx:int(255*p{$2,$3}.g+0.5)],%[fx:int(255*p{$2,$3}.b+0.5)]" info:
}
texel() { rgb_of "$work/atlas.png" "$1" "$2"; }
pixel() { rgb_of "$work/shot.png" $(($1 + wx)) $(($2 + wy)); }

shoot() {
    rm -f "$work/shot.png"
    timeout 20 import -window root "$work/shot.png" || fail "screenshot failed"
}

# expect what x y atlas-x atlas-y: the client pixel shows that atlas texel.
# Texels of the colour key (pure green) are transparent: such a sample proves nothing.
expect() {
    local want got
    want=$(texel "$4" "$5")
    [ "$want" = "0,255,0" ] && { echo "note: $1 sample is transparent in the atlas"; return 0; }
    got=$(pixel "$2" "$3")
    [ "$got" = "$want" ] || fail "$1: pixel ($2, $3) is $got, expected atlas texel ($4, $5) = $want"
    echo "ok: $1 at ($2, $3)"
}

# Give the title a few frames to be drawn, then look at it.
sleep 1
shoot
kill -0 "$game_pid" 2>/dev/null || fail "the game ended before its title was shown"

# The title picture fills the screen; the menu panel (368 x 122) is centred at y 200,
# so it covers x 136..503, y 200..321. Its left margin at (140, 300) is reached by
# no label, and the selection bar of the first entry lies in row 0 only.
expect "title picture" 60 300 $((1407 + 60)) $((1567 + 300))
expect "title picture" 600 100 $((1407 + 600)) $((1567 + 100))
expect "menu panel" 140 300 $((1010 + 4)) $((1127 + 100))
expect "menu panel" 500 250 $((1010 + 364)) $((1127 + 50))
# The selection bar behind the first entry (cell at 138, 202).
expect "selection bar on entry 0" 140 215 $((370 + 2)) $((709 + 13))

# Right moves the bar to the second entry (cell at 321, 202).
press Right
shoot
expect "panel where the bar was" 140 215 $((1010 + 4)) $((1127 + 15))
expect "selection bar on entry 1" 323 215 $((370 + 2)) $((709 + 13))

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
expect "title picture after no" 60 300 $((1407 + 60)) $((1567 + 300))
expect "selection bar back on entry 0" 140 215 $((370 + 2)) $((709 + 13))

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
locate_window
shoot
expect "title picture after the display changes" 60 300 $((1407 + 60)) $((1567 + 300))
expect "menu panel after the display changes" 140 300 $((1010 + 4)) $((1127 + 100))

# The quit dialog again, and this time yes.
press Right
press Return
press Down
press Return

status=""
for _ in $(seq 1 100); do
    if ! kill -0 "$game_pid" 2>/dev/null; then
        wait "$game_pid"
        status=$?
        break
    fi
    sleep 0.1
done
if [ -z "$status" ]; then
    fail "the game did not end within 10 s of answering yes"
fi
game_pid=""
[ "$status" -eq 0 ] || { cat "$work/game.log"; fail "the game exited with code $status"; }
[ -f "$work/save.dat" ] || fail "shutdown did not write the race history (save.dat)"
echo "PASS: title, quit dialog (no, then yes), display switches, exit code 0"
exit 0
