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
    # A game that does not end on request within a few seconds is killed: a failed
    # run must never leave it behind.
    if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then
        kill "$game_pid" 2>/dev/null
        for _ in 1 2 3 4 5 6; do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.5; done
        kill -9 "$game_pid" 2>/dev/null
    fi
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
    sleep 0.2
    timeout 5 xdotool keyup "$1" || fail "could not release $1"
    sleep 0.25
}

# The interface atlas is block 0 of data.dat: a table of 150 offsets (600 bytes),
# then at 600 + offset the block's length and its bytes. Screen pixels are checked
# against the atlas texels that the layout puts there.
u32_at() { od -An -tu4 -N4 -j "$1" "$work/data.dat" | tr -d ' '; }
block_offset=$(u32_at 0)
block_length=$(u32_at $((600 + block_offset)))
tail -c +$((600 + block_offset + 4 + 1)) "$work/data.dat" | head -c "$block_length" >"$work/atlas.bmp"
convert "$work/atlas.bmp" "$work/atlas.png" 2>/dev/null || fail "block 0 of data.dat is not an image"

rgba_of() { # image x y: prints "r g b a", 0..255 each
    convert "$1" -format "%[fx:int(255*p{$2,$3}.r+0.5)] %[fx:int(255*p{$2,$3}.g+0.5)] %[fx:int(255*p{$2,$3}.b+0.5)] %[fx:int(255*p{$2,$3}.a+0.5)]" info:
}
pixel() { rgba_of "$work/shot.png" $(($1 + wx)) $(($2 + wy)); }

shoot() {
    rm -f "$work/shot.png"
    timeout 20 import -window root "$work/shot.png" || fail "screenshot failed"
}

# expect what x y ax ay [ax ay ...]: the client pixel (x, y) shows the atlas texels
# (ax, ay), the topmost sprite's first, blended as the game blends them (source
# alpha over what lies below, all over the black of a cleared frame). Texels of
# the colour key, opaque pure green, are transparent.
expect() {
    local name=$1 x=$2 y=$3 layers="" want got
    shift 3
    while [ $# -ge 2 ]; do
        layers="$(rgba_of "$work/atlas.png" "$1" "$2")"$'\n'"$layers"
        shift 2
    done
    want=$(printf '%s' "$layers" | awk 'NF == 4 {
            if ($1 == 0 && $2 == 255 && $3 == 0 && $4 == 255) next
            a = $4 / 255; r = $1 * a + r * (1 - a); g = $2 * a + g * (1 - a); b = $3 * a + b * (1 - a)
        } END { printf "%d %d %d\n", r + 0.5, g + 0.5, b + 0.5 }')
    got=$(pixel "$x" "$y")
    # Blending rounds once per layer: allow a few steps of difference.
    if ! awk -v w="$want" -v g="$got" 'BEGIN { split(w, a, " "); split(g, b, " ");
            for (i = 1; i <= 3; ++i) { d = a[i] - b[i]; if (d < -4 || d > 4) exit 1 } }'; then
        fail "$name: pixel ($x, $y) is ${got% *}, expected $want"
    fi
    echo "ok: $name at ($x, $y)"
}

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
