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
here=$(readlink -f "${BASH_SOURCE[0]}")

if [ "${COMMAND_MENU_INNER:-}" != 1 ]; then
    if ! command -v xvfb-run >/dev/null 2>&1; then
        echo "SKIP: xvfb-run is not installed"
        exit 0
    fi
    for tool in xdotool xwininfo import convert od awk; do
        command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool is missing"; exit 1; }
    done
    export COMMAND_MENU_INNER=1
    timeout -k 5 150 xvfb-run -a -s "-screen 0 1024x768x24" bash "$here" "$game" "$build"
    rc=$?
    [ $rc -eq 124 ] && echo "FAIL: the end-to-end run timed out"
    exit $rc
fi

# --- inside the X server -------------------------------------------------------
unset SDL_VIDEODRIVER # draw to the X server, not offscreen
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
# Only memory errors count here; the headless tests check leaks.
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

for f in data.dat mappack.dat epack.dat; do
    [ -f "$build/$f" ] || fail "no $f in $build"
    cp "$build/$f" "$work/"
done

cd "$work"
"$game" >"$work/game.log" 2>&1 &
game_pid=$!

wid=$(timeout 30 xdotool search --sync --onlyvisible --pid "$game_pid" 2>/dev/null | head -n 1)
[ -n "$wid" ] || { cat "$work/game.log"; fail "the game showed no window"; }

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


# The first opaque texel inside an atlas rectangle that is not the colour key.
opaque_texel() { # left top right bottom: prints "x y"
    convert "$work/atlas.png" -crop "$(($3 - $1))x$(($4 - $2))+$1+$2" +repage txt:- |
        awk -F'[,: ()]+' 'NR > 1 && $0 ~ /srgba?\(/ {
            n = split($0, p, /[(),]/); r = p[n-4]; g = p[n-3]; b = p[n-2]; a = p[n-1]
            if (a + 0 >= 0.999 || a == 255) { if (!(r == 0 && g == 255 && b == 0)) { print $1, $2; exit } }
        }'
}

# expect_sprite what left top right bottom x y: the sprite cut from that rectangle
# is on top at (x, y) of the window.
expect_sprite() {
    local texel tx ty
    texel=$(opaque_texel "$2" "$3" "$4" "$5")
    [ -n "$texel" ] || fail "$1: no opaque texel in its atlas rectangle"
    read -r tx ty <<<"$texel"
    expect "$1" $(($6 + tx)) $(($7 + ty)) $(($2 + tx)) $(($3 + ty))
}

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
sleep 1
shoot
white_at || fail "no computer-play banner at (470, 2): pixel is $(pixel $((470 + bx)) $((2 + by)))"
echo "ok: computer-play banner at (470, 2)"
kill -0 "$game_pid" 2>/dev/null || fail "the game ended"
echo "PASS"
