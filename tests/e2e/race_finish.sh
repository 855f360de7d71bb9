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
here=$(readlink -f "${BASH_SOURCE[0]}")

if [ "${RACE_FINISH_INNER:-}" != 1 ]; then
    if ! command -v xvfb-run >/dev/null 2>&1; then
        echo "SKIP: xvfb-run is not installed"
        exit 0
    fi
    for tool in xdotool xwininfo import convert od awk; do
        command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool is missing"; exit 1; }
    done
    export RACE_FINISH_INNER=1
    timeout -k 5 450 xvfb-run -a -s "-screen 0 1024x768x24" bash "$here" "$game" "$build"
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
    shoot
    cp "$work/shot.png" "$build/race_finish_last.png" 2>/dev/null # kept to look at
    fail "the game did not end within 10 s of the quit request (last picture: race_finish_last.png)"
fi
game_pid=""
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
