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

# How long a wait for the screen may last, in seconds: long enough for a machine busy
# with other work, short enough that a screen that never comes fails the run.
screen_wait=45
# How long step holds a key that shows no effect before it presses it again.
repress_after=5

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
        for tool in xdotool xwininfo import convert compare od awk; do
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
    started_at=$SECONDS
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

# Waits up to $screen_wait s for the game to end by itself: status is then its exit
# code, or empty if it still runs.
await_exit() {
    status=""
    for _ in $(seq 1 $((10 * screen_wait))); do
        if ! kill -0 "$game_pid" 2>/dev/null; then
            wait "$game_pid"
            status=$?
            game_pid=""
            return
        fi
        sleep 0.1
    done
}

# press key: taps a key whose effect is not looked for. The game polls its keys once a
# frame: the key is held for longer than a slow frame and then left up for the next
# frame to see it released, but a slower frame misses it. A script that presses keys
# this way watches the screen for what the keys together lead to; every other key
# goes through step. On a loaded machine xdotool itself may take seconds.
press() {
    timeout 15 xdotool keydown "$1" || fail "could not press $1"
    sleep "$press_hold"
    timeout 15 xdotool keyup "$1" || fail "could not release $1"
    sleep "$press_gap"
}

alive() { kill -0 "$game_pid" 2>/dev/null || fail "the game ended unexpectedly"; }
game_ended() { ! kill -0 "$game_pid" 2>/dev/null; }

# Keeps the last picture next to the build for a look after a failure.
fail_with_shot() {
    local name
    name=$(basename "$e2e_script" .sh)_last.png
    cp "$work/shot.png" "$build/$name" 2>/dev/null
    fail "$* (last picture: $name)"
}

# step key what check...: presses the key and holds it down until a picture shows the
# check holding (it must not hold before the key is seen), then lets it go; fails with
# what when that takes longer than $screen_wait s. The game acts on a key that is down
# at its poll and was up at the one before, so a key held until its effect shows is
# seen however slow the frames. It is not seen when it was already down at the poll
# before: its last release fell between two polls, or the screen spent that frame
# starting up. So a key whose effect a picture taken $repress_after s after it went
# down does not show is let go and pressed again (counted from the picture, not from
# the check, which a busy machine may make slow); and after each release a short
# pause lets the next poll see it up (should a slow frame outrun the pause, the key
# is pressed again later).
step() {
    local key=$1 what=$2 since=$SECONDS held looked
    shift 2
    while :; do
        alive
        timeout 15 xdotool keydown "$key" || fail "could not press $key"
        held=$SECONDS
        while :; do
            looked=$SECONDS
            shoot
            if "$@"; then
                timeout 15 xdotool keyup "$key" || fail "could not release $key"
                echo "ok: $what ($((SECONDS - started_at)) s)"
                sleep "$press_gap"
                return 0
            fi
            alive
            [ $((looked - held)) -lt "$repress_after" ] || break
        done
        timeout 15 xdotool keyup "$key" || fail "could not release $key"
        [ $((SECONDS - since)) -lt "$screen_wait" ] || fail_with_shot "$key did not lead to $what within $screen_wait s"
        sleep "$press_gap"
    done
}

# await seconds what check...: waits for the check to hold, looking twice a second.
await() {
    local limit=$1 what=$2 since=$SECONDS
    shift 2
    while [ $((SECONDS - since)) -lt "$limit" ]; do
        alive
        shoot
        "$@" && { echo "ok: $what ($((SECONDS - started_at)) s)"; return 0; }
        sleep 0.5
    done
    fail_with_shot "no $what within $limit s"
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
        shot_lines "$1"
    fi
}
shot_lines() { od -An -v -tu1 -w3 "$work/shot.rgb" >"$1"; } # out.rgb: the last shot, as shoot gives it
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

# sprite_shown left top right bottom x y: the picture cut from that atlas rectangle is
# on top at (x, y) of the window: six of its texels, spread over it, are there. A
# texel of alpha a over anything shows between a x texel and that plus (1 - a) x 255,
# so translucent texels (alpha 200 and up) bound the pixel too. The texels are looked
# up once per rectangle.
declare -A sprite_texels
sprite_shown() {
    local key="$1 $2 $3 $4" probe tx ty r g b a
    if [ -z "${sprite_texels[$key]:-}" ]; then
        sprite_texels[$key]=$(for ty in $(seq 0 $(($4 - $2 - 1))); do
                od -An -tu1 -v -w4 -N $((($3 - $1) * 4)) -j $((4 * (($2 + ty) * 2048 + $1))) "$work/atlas.rgba" |
                    awk -v ty="$ty" '$4 >= 200 && !($1 == 0 && $2 == 255 && $3 == 0) { print NR - 1, ty, $1, $2, $3, $4 }'
            done | awk '{ t[NR] = $0 } END { for (i = 1; i <= 6 && NR > 0; ++i) print t[int((i - 0.5) * NR / 6) + 1] }' |
            tr '\n' ';')
        [ -n "${sprite_texels[$key]}" ] || fail "atlas ($key) has no texel to look for"
    fi
    local IFS=';'
    for probe in ${sprite_texels[$key]}; do
        IFS=' ' read -r tx ty r g b a <<<"$probe"
        pixel $(($5 + tx)) $(($6 + ty)) | awk -v r="$r" -v g="$g" -v b="$b" -v a="$a" '{
                split(r " " g " " b, t, " "); k = a / 255
                for (i = 1; i <= 3; ++i) if ($i < t[i] * k - 4 || $i > t[i] * k + 255 * (1 - k) + 4) exit 1 }' ||
            return 1
    done
}

# The command menu's, the save slots' and the dialogs' cursor (atlas 438, 596, 449, 617).
cursor_at() { sprite_shown 438 596 449 617 "$1" "$2"; }
# The title's quit dialog, its question at (259, 128), the cursor on answer 0 (no) or 1 (yes).
quit_dialog_row() { sprite_shown 642 430 764 450 259 128 && cursor_at 183 $((192 + 32 * $1)); }
# Team select, by its left arrow.
team_select_shown() { sprite_shown 519 675 551 707 32 400; }
not_team_select() { ! team_select_shown; }

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
