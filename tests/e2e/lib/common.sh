# Helpers shared by the end-to-end scripts in tests/e2e. A script sets game and build
# from its arguments, sources this file, then calls run_under_xvfb with its time bound:
#
#   game=$(readlink -f "${1:?path to the game executable}")
#   build=$(readlink -f "${2:?build directory holding data.dat}")
#   source "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/lib/common.sh"
#   run_under_xvfb 150
#
# Everything after that runs inside the X server, in a scratch directory $work that is
# removed (and the game stopped) when the script ends.

# The script that sourced this file: it is run again inside the X server.
e2e_script=$(readlink -f "${BASH_SOURCE[1]}")

# How long press holds a key down and then waits with it up, in seconds. Scripts that
# need other holds set these after sourcing this file.
press_hold=0.2
press_gap=0.25

# Set to 1 for fail to print the game's output after the message.
fail_shows_log=0

fail() {
    echo "FAIL: $*"
    if [ "$fail_shows_log" = 1 ] && [ -f "$work/game.log" ]; then cat "$work/game.log"; fi
    exit 1
}

# run_under_xvfb seconds: outside the X server, runs this script again inside a fresh
# one, bounded by that many seconds, and exits with its result; inside, returns with
# the environment, the scratch directory and the clean-up in place.
run_under_xvfb() {
    if [ "${E2E_INNER:-}" != 1 ]; then
        if ! command -v xvfb-run >/dev/null 2>&1; then
            echo "SKIP: xvfb-run is not installed"
            exit 0
        fi
        local tool rc
        for tool in xdotool xwininfo import convert od awk; do
            command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool is missing"; exit 1; }
        done
        export E2E_INNER=1
        timeout -k 5 "$1" xvfb-run -a -s "-screen 0 1024x768x24" bash "$e2e_script" "$game" "$build"
        rc=$?
        [ $rc -eq 124 ] && echo "FAIL: the end-to-end run timed out"
        exit $rc
    fi

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
    trap cleanup EXIT
}

# A game that does not end on request within a few seconds is killed: a failed run
# must never leave it behind.
stop_game() {
    if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then
        kill "$game_pid" 2>/dev/null
        for _ in 1 2 3 4 5 6; do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.5; done
        kill -9 "$game_pid" 2>/dev/null
    fi
    game_pid=""
}
cleanup() { stop_game; rm -rf "$work"; }

# copy_data name... [--optional name...]: the data files from the build directory into
# $work; those after --optional are copied when they are there.
copy_data() {
    local optional=0 f
    for f in "$@"; do
        if [ "$f" = --optional ]; then
            optional=1
        elif [ -f "$build/$f" ]; then
            cp "$build/$f" "$work/"
        elif [ "$optional" -eq 0 ]; then
            fail "no $f in $build"
        fi
    done
}

# Starts the game in $work (where it keeps its saves), its output going to game.log,
# and waits for its window: wid is the window, wx wy its top-left corner on the root
# window, and it has the keyboard focus.
start_game() {
    cd "$work" || fail "no scratch directory"
    "$game" >>"$work/game.log" 2>&1 &
    game_pid=$!
    wid=$(timeout 30 xdotool search --sync --onlyvisible --pid "$game_pid" 2>/dev/null | head -n 1)
    [ -n "$wid" ] || fail_shows_log=1 fail "the game showed no window"
    locate_window
    timeout 10 xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
}

# The window's top-left corner on the root window, to read its pixels from a screenshot.
locate_window() {
    local origin
    origin=$(xwininfo -id "$wid" | awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} END {print x, y}')
    read -r wx wy <<<"$origin"
}

# Waits up to 10 s for the game to end by itself: status is then its exit code, or
# empty if it still runs.
await_exit() {
    status=""
    for _ in $(seq 1 100); do
        if ! kill -0 "$game_pid" 2>/dev/null; then
            wait "$game_pid"
            status=$?
            game_pid=""
            return
        fi
        sleep 0.1
    done
}

# The game polls its keys once per 17 ms frame: hold each key for longer than a slow
# frame and let the next frame see it released before the next one. On a loaded
# machine xdotool itself may take seconds.
press() {
    timeout 15 xdotool keydown "$1" || fail "could not press $1"
    sleep "$press_hold"
    timeout 15 xdotool keyup "$1" || fail "could not release $1"
    sleep "$press_gap"
}

# shoot [out.rgb]: a screenshot; the window's 640 x 480 pixels are then in
# $work/shot.rgb as raw RGB for pixel, and, given out.rgb, there as one "r g b" line
# each, row by row. The whole root window stays in $work/shot.png.
shoot() {
    rm -f "$work/shot.png"
    timeout 20 import -window root "$work/shot.png" || fail "screenshot failed"
    convert "$work/shot.png" -crop "640x480+$wx+$wy" +repage -depth 8 "rgb:$work/shot.rgb" ||
        fail "the screenshot could not be cut to the window"
    if [ $# -gt 0 ]; then
        od -An -v -tu1 -w3 "$work/shot.rgb" >"$1"
    fi
}
pixel() { # x y: "r g b" of the window in the last shot
    od -An -tu1 -N3 -j $((3 * ($2 * 640 + $1))) "$work/shot.rgb" | awk '{ print $1, $2, $3 }'
}

as_rgb() { # in.png out.rgb: a 640 x 480 picture as one "r g b" line per pixel
    convert "$1" -depth 8 rgb:- | od -An -v -tu1 -w3 >"$2"
}

# agreement a.rgb b.rgb [x0 y0 x1 y1]: per cent of the pixels (inside x0..x1, y0..y1,
# by default all) that agree within 6 steps in every channel. The die face at the top
# left is left out, as two runs stop it at different faces.
agreement() {
    paste -d' ' "$1" "$2" | awk -v x0="${3:-0}" -v y0="${4:-0}" -v x1="${5:-639}" -v y1="${6:-479}" '{
            i = NR - 1; x = i % 640; y = int(i / 640)
            if (x < x0 || x > x1 || y < y0 || y > y1) next
            if (x < 80 && y < 60) next
            n++
            if ($1 - $4 <= 6 && $4 - $1 <= 6 && $2 - $5 <= 6 && $5 - $2 <= 6 && $3 - $6 <= 6 && $6 - $3 <= 6) same++
        } END { printf "%d\n", n ? 100 * same / n : 0 }'
}

# The interface atlas is block 0 of data.dat: a table of 150 offsets (600 bytes), then
# at 600 + offset the block's length and its bytes. It is kept as raw RGBA,
# 2048 x 2048, in $work/atlas.rgba, so that single texels can be read
# quickly. Screen pixels are checked against the atlas texels that the layout puts there.
extract_atlas() {
    local block_offset block_length
    block_offset=$(u32_at 0)
    block_length=$(u32_at $((600 + block_offset)))
    tail -c +$((600 + block_offset + 4 + 1)) "$work/data.dat" | head -c "$block_length" >"$work/atlas.bmp"
    convert "$work/atlas.bmp" -depth 8 "rgba:$work/atlas.rgba" 2>/dev/null || fail "block 0 of data.dat is not an image"
    [ "$(stat -c %s "$work/atlas.rgba")" -eq $((2048 * 2048 * 4)) ] || fail "the atlas is not 2048 x 2048"
}
u32_at() { od -An -tu4 -N4 -j "$1" "$work/data.dat" | tr -d ' '; }

texel() { # x y: "r g b a" of the atlas
    od -An -tu1 -N4 -j $((4 * ($2 * 2048 + $1))) "$work/atlas.rgba" | awk '{ print $1, $2, $3, $4 }'
}

# What the screen should show at a pixel: the atlas texels given, topmost first,
# blended as the game blends them (source alpha over what lies below, all over the
# black of a cleared frame); opaque pure green is the colour key and transparent.
blend() { # ax ay [ax ay ...]: prints "r g b"
    local layers=""
    while [ $# -ge 2 ]; do
        layers="$(texel "$1" "$2")"$'\n'"$layers"
        shift 2
    done
    printf '%s' "$layers" | awk 'NF == 4 {
            if ($1 == 0 && $2 == 255 && $3 == 0 && $4 == 255) next
            a = $4 / 255; r = $1 * a + r * (1 - a); g = $2 * a + g * (1 - a); b = $3 * a + b * (1 - a)
        } END { printf "%d %d %d\n", r + 0.5, g + 0.5, b + 0.5 }'
}
# Blending rounds once per layer: a few steps of difference are allowed.
close_to() { # "r g b" "r g b"
    awk -v w="$1" -v g="$2" 'BEGIN { split(w, a, " "); split(g, b, " ");
        for (i = 1; i <= 3; ++i) { d = a[i] - b[i]; if (d < -4 || d > 4) exit 1 } }'
}
# matches x y ax ay [ax ay ...]: the window pixel (x, y) shows those texels.
matches() {
    local x=$1 y=$2
    shift 2
    close_to "$(blend "$@")" "$(pixel "$x" "$y")"
}

# expect what x y ax ay [ax ay ...]: like matches, but fails the test with what was
# seen, and says so when it holds.
expect() {
    local name=$1 x=$2 y=$3 want got
    shift 3
    want=$(blend "$@")
    got=$(pixel "$x" "$y")
    close_to "$want" "$got" || fail "$name: pixel ($x, $y) is $got, expected $want"
    echo "ok: $name at ($x, $y)"
}

# The battle frame is drawn 1:1 from atlas (0, 0, 640, 480) over the whole window
# while a battle's messages or reels show. find_battle_frame_probes fills frame_probes
# with "x y r g b": opaque, bright texels of the strips beside the reels and the pillar
# between them, where nothing else of the battle is drawn. Bright, so that a black screen
# never matches; several, so that no board view does by chance. Needs extract_atlas.
find_battle_frame_probes() {
    local spot px py dx r g b a
    frame_probes=()
    for spot in "20 100" "30 200" "45 300" "610 120" "600 250" "625 310" "300 90" "320 200" "340 300"; do
        read -r px py <<<"$spot"
        # From each spot, the first texel in its row (within 12 pixels) that is opaque,
        # not the colour key and not dark.
        for dx in 0 1 2 3 4 5 6 7 8 9 10 11; do
            read -r r g b a <<<"$(texel $((px + dx)) "$py")"
            if [ "$a" -eq 255 ] && ! { [ "$r" -eq 0 ] && [ "$g" -eq 255 ] && [ "$b" -eq 0 ]; } &&
                [ $((r + g + b)) -ge 120 ]; then
                frame_probes+=("$((px + dx)) $py $r $g $b")
                break
            fi
        done
    done
    [ "${#frame_probes[@]}" -ge 6 ] || fail "the atlas's battle frame has too few bright opaque texels to look for"
}
