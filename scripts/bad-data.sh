#!/usr/bin/env bash
# Every data file the game reads or writes, damaged as a newcomer would damage it, tried
# on the game itself (build/sugoroku), and on the screenshot command's copy of the real
# start-up chain where a file is only read after some keys (the history screen, the load
# menu, a save from the command menu, the end of a race). Prints one table row per case:
#
#   build | file | damage | how the run ended | what the game said | file afterwards | verdict
#
# A case fails when the run crashes, hangs, prints a sanitizer report, says nothing
# clear about the file, or leaves a file that had to be kept changed or gone.
#
#   bash scripts/bad-data.sh [BUILD_DIR...]    (default: build, and build-asan if built)
#
# BAD_DATA_ONLY=REGEX runs only the cases whose "file: damage" matches; BAD_DATA_JOBS
# (default 4) runs that many at once, on BAD_DATA_CPUS (default 2-7); BAD_DATA_MD=FILE
# writes the table as markdown as well. Must run as root: the permission cases run the
# game as the unprivileged user nobody, and the full-disk cases mount a 64 KiB tmpfs.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ $# -eq 0 ]; then
    set -- "$root/build"
    [ -x "$root/build-asan/sugoroku" ] && set -- "$@" "$root/build-asan"
fi
only=${BAD_DATA_ONLY:-}
jobs=${BAD_DATA_JOBS:-4}
cpus=${BAD_DATA_CPUS:-2-7}
pin=()
command -v taskset >/dev/null && pin=(taskset -c "$cpus")
[ "$(id -u)" = 0 ] || { echo "bad-data.sh: run as root (cases run as nobody and mount a tmpfs)" >&2; exit 2; }

work=$(mktemp -d /tmp/bad-data.XXXXXX)
chmod 755 "$work"
cleanup() {
    local m
    if [ -f "$work/mounts" ]; then
        while read -r m; do umount "$m" 2>/dev/null; done <"$work/mounts"
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy MESA_SHADER_CACHE_DISABLE=true
unset DISPLAY WAYLAND_DISPLAY # no message box may wait for a click

# ---- bytes -------------------------------------------------------------------------
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
put32() { printf "$(le32 "$3")" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; } # FILE OFFSET VALUE
get32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' \n'; }
cut_to() { truncate -s "$2" "$1"; }                                                    # FILE SIZE
# COUNT bytes of a fixed-seed noise: the same damage every run.
noise() { LC_ALL=C awk -v n="$1" -v s="$2" 'BEGIN { srand(s); for (i = 0; i < n; i++) printf "%c", int(rand() * 256) }'; }
fill() { head -c "$2" /dev/zero | tr '\0' "\\$(printf %03o "$3")" >"$1"; }              # FILE COUNT BYTE

# ---- the damage, applied in the case's data directory ---------------------------------
# Each takes the file name first; they run inside the directory.
d_remove() { rm -rf "$1"; }
d_empty() { rm -rf "$1"; : >"$1"; }
d_cut() { cut_to "$1" "$2"; }
d_cut_from_end() { cut_to "$1" $(($(stat -c %s "$1") - $2)); }
d_noise() { rm -rf "$1"; noise "$2" "${3:-1}" >"$1"; }
d_noise_over() { noise "$3" 5 | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; } # FILE AT COUNT
d_dir() { rm -rf "$1"; mkdir "$1"; }
d_fifo() { rm -rf "$1"; mkfifo "$1"; } # a read of it must not wait for a writer
d_unreadable() { chmod 000 "$1"; }
d_read_only_file() { chmod 444 "$1"; }
d_put() { put32 "$1" "$2" "$3"; }
d_fill_table() { local i; for ((i = 0; i < $2; i += 4)); do put32 "$1" "$i" "$3"; done; }
# The entry of stage 1 in a pack: 12 + its offset.
entry1() { echo $((12 + $(get32 "$1" 0))); }
d_put_entry() { put32 "$1" $(($(entry1 "$1") + $2)) "$3"; } # FILE FIELD-OFFSET VALUE
d_cut_entry() { cut_to "$1" $(($(entry1 "$1") + $2)); }
d_history() { rm -rf "$1"; local i; for ((i = 0; i < 130; ++i)); do printf "$(le32 "$2")"; done >"$1"; }
d_copy() { rm -rf "$1"; cp "$2" "$1"; }
# data.dat: the block of index N, its L word (offset of the entry + 600).
block_at() { echo $((600 + $(get32 "$1" $((4 * $2))))); }
d_block_len() { put32 "$1" "$(block_at "$1" "$2")" "$3"; }
d_block_field() { put32 "$1" $(($(block_at "$1" "$2") + 4 + $3)) "$4"; } # FILE BLOCK AT VALUE
# FILE BLOCK FROM TO: the first FROM inside the block becomes TO (of the same length).
d_block_text() {
    local at skip=$(($(block_at "$1" "$2") + 4))
    at=$(dd if="$1" bs=4096 iflag=skip_bytes,count_bytes skip="$skip" count=4096 status=none |
        grep -abo -m1 -F "$3" | head -n1 | cut -d: -f1)
    printf '%s' "$4" | dd of="$1" bs=1 seek=$((skip + at)) conv=notrunc status=none
}
d_chain() { local f=$1; shift; while [ $# -gt 0 ]; do "$1" "$f" "${@:3:$2}"; shift $(($2 + 2)); done; }

# ---- drivers -------------------------------------------------------------------------
# Keys on the screenshot command (see README): the title's entries and the board's menu.
new_race="10 return 20 return"
history_screen="10 down 3 down 3 right 3 return 120 return 60"
load_slot0="10 down 3 right 3 return 20 return 3 down 3 return 60"
save_slot0="$new_race 90 shift 10 down 3 down 3 down 3 return 20 return 3 down 3 return 40"
autoplay="shift 10 down 3 down 3 down 3 down 3 return 10 down 3 return"
race_end="$new_race 60 $autoplay 19450 return 90"

as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)

# run_program DIR USER LOG SETTLE -- COMMAND...: runs it in DIR; a program still running
# after SETTLE seconds gets SIGHUP (the game's "terminal closed": it shuts down and writes
# its history), and SIGKILL 30 s later. Sets how_ended and status.
run_program() {
    local dir=$1 user=$2 log=$3 settle=$4
    shift 5
    local prefix=()
    [ "$user" = nobody ] && prefix=("${as_nobody[@]}")
    (cd "$dir" && exec "${pin[@]}" "${prefix[@]}" env HOME="$dir/../home" "${sanitizer_env[@]}" "$@") >"$log" 2>&1 &
    local pid=$! i
    how_ended=""
    for ((i = 0; i < settle * 10; ++i)); do
        kill -0 "$pid" 2>/dev/null || { how_ended=self; break; }
        sleep 0.1
    done
    if [ -z "$how_ended" ]; then
        how_ended=hangup
        kill -HUP "$pid" 2>/dev/null
        for ((i = 0; i < 300; ++i)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$pid" 2>/dev/null; then
            how_ended=killed
            kill -KILL "$pid" 2>/dev/null
        fi
    fi
    wait "$pid"
    status=$?
}

# What a file is now: a digest for a file, "directory", or "missing".
state_of() {
    if [ -d "$1" ]; then echo directory
    elif [ -p "$1" ]; then echo FIFO
    elif [ -e "$1" ]; then echo "$(stat -c %s "$1") bytes $(sha256sum <"$1" | cut -c1-16)"
    else echo missing; fi
}

# ---- one case ---------------------------------------------------------------------------
# case_run FILE DAMAGE DRIVER USER PLACE EXPECT KEEP SETUP...
#   DRIVER: game (the game itself, hung up after a few seconds), or keys:FRAMES:SCRIPT.
#   USER: root or nobody. PLACE: plain, readonly (the directory made read-only after the
#   damage), or full (the data files linked into a 64 KiB tmpfs filled to the last byte).
#   EXPECT: an extended regex the output must match ("-" for no message at all).
#   KEEP: keep (the file must come through byte for byte), history (a 520-byte race
#   history afterwards), or any.
#   SETUP: the damage, a d_* function and its arguments after the file name.
case_count=0
case_run() {
    local file=$1 damage=$2
    [ -n "$only" ] && ! [[ "$file: $damage" =~ $only ]] && return 0
    case_count=$((case_count + 1))
    local id
    id=$(printf '%03d' "$case_count")
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
    case_body "$id" "$@" >"$work/row-$build_tag-$id" &
}

case_body() {
    local id=$1 file=$2 damage=$3 driver=$4 user=$5 place=$6 expect=$7 keep=$8
    shift 8
    if [ "$sanitized" = 1 ] && [[ "$driver" == keys:19* ]]; then
        # Some 20,000 frames through the sanitizers take most of an hour; the same write
        # runs sanitized here at shutdown, and whole races in the headless tests.
        printf '%s|%s|%s|%s|%s|%s|%s\n' "$build_tag" "$file" "$damage (as $user)" "not run" \
            "a whole race is too long under the sanitizers" "-" "SKIP"
        return
    fi
    local base="$work/$build_tag-$id" dir
    mkdir -p "$base/home" "$base/out"
    dir="$base/data"
    if [ "$place" = full ]; then
        mkdir -p "$dir"
        if ! mount -t tmpfs -o size=64k tmpfs "$dir" 2>/dev/null; then
            printf '%s|%s|%s|%s|%s|%s|%s\n' "$build_tag" "$file" "$damage" "not tried" \
                "no tmpfs could be mounted here" "-" "SKIP"
            return
        fi
        echo "$dir" >>"$work/mounts"
        ln -s "$build/data.dat" "$build/mappack.dat" "$build/epack.dat" "$dir/"
        [ -n "${fixture_slot:-}" ] && cp "$fixture_slot" "$dir/save0.dat"
        d_history "$dir/save.dat" 7
    else
        mkdir -p "$dir"
        cp "$build/data.dat" "$build/mappack.dat" "$build/epack.dat" "$dir/"
    fi
    [ $# -gt 0 ] && (cd "$dir" && "$1" "$file" "${@:2}")
    chmod 755 "$base" "$base/home" "$base/out"
    [ "$user" = nobody ] && chown -R nobody:nogroup "$base" 2>/dev/null
    case "$place" in
    readonly) chmod 555 "$dir" ;;
    full) (head -c 1M /dev/zero >"$dir/filler") 2>/dev/null; chown nobody:nogroup "$dir" "$dir/filler" 2>/dev/null ;;
    esac
    local before after log="$base/out/game.log"
    before=$(state_of "$dir/$file")

    local settle=$settle_seconds ran
    case "$driver" in
    game)
        run_program "$dir" "$user" "$log" "$settle" -- "$game"
        ;;
    keys:*)
        local rest=${driver#keys:} frames script
        frames=${rest%%:*}
        script=${rest#*:}
        # A whole race is some 20,000 frames of drawing: give it its time.
        local limit=$long_seconds
        [ "$frames" -gt 5000 ] && limit=$((long_seconds + frames / 15))
        run_program "$dir" "$user" "$log" "$limit" -- "$shot" --frames "$frames" --keys "$script" \
            --out "$base/out/shot.png" --data-dir "$dir"
        # The screenshot command ends by itself; a hang-up means it ran far too long.
        [ "$how_ended" = hangup ] && how_ended=hung
        ;;
    esac
    after=$(state_of "$dir/$file")

    # How the run ended.
    local verdict=ok reasons=() ended
    if [ "$how_ended" = killed ] || [ "$how_ended" = hung ]; then
        ended="hung ($how_ended)"
        reasons+=("hang")
    elif [ "$status" -gt 128 ]; then
        ended="crashed: signal $((status - 128))"
        reasons+=("crash")
    elif [ "$driver" = game ]; then
        if [ "$how_ended" = self ]; then ended="stopped at start, status $status"
        else ended="ran; ended on hang-up, status $status"; fi
    else
        if grep -q "start-up failed" "$log"; then ended="stopped at start, status $status"
        elif grep -q "the game ended after" "$log"; then ended="the game ended itself, status $status"
        elif [ "$status" = 0 ]; then ended="ran all $frames frames"
        else ended="status $status"; fi
    fi
    [ "$how_ended" = self ] || [ "$status" -le 1 ] || [ "$status" -gt 128 ] || reasons+=("status $status")
    if grep -qE "Sanitizer|runtime error:|LeakSanitizer" "$log"; then reasons+=("sanitizer report"); fi

    # What it said: the expected line, or else the first line it printed.
    local said
    if [ "$expect" = "-" ]; then
        said=$(grep -v '^screenshot: .*after [0-9]* frames$\|\.png: [0-9]*x' "$log" | grep -m1 . || true)
        [ -n "$said" ] && reasons+=("unexpected output")
        [ -z "$said" ] && said="(nothing)"
    else
        said=$(grep -E -e "$expect" "$log" | grep -v '\.png: [0-9]*x' | head -n 2 | awk 'NR > 1 { printf " // " } { printf "%s", $0 }' || true)
        # The message box's text comes last, after the reason on stderr.
        local last
        last=$(grep -v '^screenshot: \|\.png: [0-9]*x' "$log" | tail -n 1)
        [ -n "$said" ] && [ -n "$last" ] && [[ "$said" != *"$last"* ]] && said="$said // $last"
        if [ -z "$said" ]; then
            said="(nothing clear) $(grep -m1 . "$log" || true)"
            reasons+=("no clear message")
        fi
    fi
    said=${said//|//}
    [ ${#said} -gt 150 ] && said="${said:0:147}..."

    local afterwards
    case "$keep" in
    keep)
        if [ "$before" = "$after" ]; then afterwards="kept"
        else afterwards="CHANGED: $before -> $after"; reasons+=("file not kept"); fi
        ;;
    history)
        case "$after" in
        "520 bytes"*) afterwards="rewritten, 520 bytes" ;;
        *) afterwards="$after"; reasons+=("history not in its 520-byte form") ;;
        esac
        ;;
    *) afterwards="$after" ;;
    esac
    [ "$before" = missing ] && [ "$after" = missing ] && afterwards="none (as before)"
    [ ${#reasons[@]} -gt 0 ] && verdict="FAIL: $(IFS=,; echo "${reasons[*]}")"
    [ "$user" = nobody ] && damage="$damage (as nobody)"
    printf '%s|%s|%s|%s|%s|%s|%s\n' "$build_tag" "$file" "$damage" "$ended" "$said" "$afterwards" "$verdict"
    if [ "$place" = full ]; then umount "$dir" 2>/dev/null; fi
}

# ---- the matrix -------------------------------------------------------------------------
matrix() {
    local pack noise_data="random bytes"
    # data.dat: read whole at start; the game stops with "data load failed" (unreadable
    # file) or "error" (a block that does not decode), the reason on stderr.
    local dl="data load failed" blk="data.dat block"
    case_run data.dat "as built" game root plain "-" keep
    case_run data.dat missing game root plain "$dl|No such file" keep d_remove
    case_run data.dat empty game root plain "0 bytes" keep d_empty
    case_run data.dat "cut inside the offset table (300 bytes)" game root plain "300 bytes, shorter" keep d_cut 300
    case_run data.dat "cut inside the first block (2000 bytes)" game root plain "$blk" keep d_cut 2000
    case_run data.dat "cut in the middle" game root plain "$blk" keep d_cut "$(($(stat -c %s "$build/data.dat") / 2))"
    # The last bytes hold the length words of blocks the game never reads.
    case_run data.dat "last byte missing (unused blocks' lengths)" game root plain "-" keep d_cut_from_end 1
    case_run data.dat "$noise_data (200 KB)" game root plain "$blk" keep d_noise 200000 1
    case_run data.dat "offsets all 0x7FFFFFFF" game root plain "$blk" keep d_fill_table 600 $((0x7FFFFFFF))
    case_run data.dat "offsets all negative (-1)" game root plain "$blk" keep d_fill_table 600 $((0xFFFFFFFF))
    case_run data.dat "block 0 length 0xFFFFFFFF" game root plain "$blk 0" keep d_block_len 0 $((0xFFFFFFFF))
    case_run data.dat "block 0 length negative (0x80000000)" game root plain "$blk 0" keep d_block_len 0 $((0x80000000))
    case_run data.dat "block 0 length 0" game root plain "$blk 0" keep d_block_len 0 0
    # Inside the blocks: block 0 is the 2048 x 2048 BMP atlas, 101 the first .x model,
    # 126 the first wave.
    case_run data.dat "block 0 BMP width and height 0x7FFFFFFF" game root plain "$blk 0" keep \
        d_chain d_block_field 3 0 18 $((0x7FFFFFFF)) d_block_field 3 0 22 $((0x7FFFFFFF))
    case_run data.dat "block 0 BMP width -2048" game root plain "$blk 0" keep d_block_field 0 18 $((0xFFFFF800))
    case_run data.dat "block 0 BMP pixel offset 0xFFFFFFF0" game root plain "$blk 0" keep d_block_field 0 10 $((0xFFFFFFF0))
    case_run data.dat "block 101 model: vertex count 9999" game root plain "$blk 101" keep d_block_text 101 "1181;" "9999;"
    case_run data.dat "block 101 model: vertex count -999" game root plain "$blk 101" keep d_block_text 101 "1181;" "-999;"
    case_run data.dat "block 101 model: noise after its header" game root plain "$blk 101" keep d_noise_over \
        "$(($(block_at "$build/data.dat" 101) + 40))" 2000
    case_run data.dat "block 126 wave: format chunk size 0xFFFFFFF0" game root plain "$blk 126" keep \
        d_block_field 126 16 $((0xFFFFFFF0))
    case_run data.dat "block 126 wave: sample chunk size 0x7FFFFFFF" game root plain "$blk 126" keep \
        d_block_field 126 40 $((0x7FFFFFFF))
    case_run data.dat "a directory" game root plain "$dl|not a regular file" keep d_dir
    case_run data.dat "a FIFO" game root plain "$dl|not a regular file" keep d_fifo
    case_run data.dat "no read permission" game nobody plain "$dl|Permission denied" keep d_unreadable

    # Stage packs: read when a race starts (new race, first team). A pack that cannot give
    # stage 1 sends the player back to the title; stderr says why.
    local race="keys:200:$new_race 120"
    local races=("$race")
    for pack in mappack.dat epack.dat; do
        case_run $pack missing "$race" root plain "$pack.*(No such file)" keep d_remove
        case_run $pack empty "$race" root plain "$pack" keep d_empty
        case_run $pack "cut inside the offsets (7 bytes)" "$race" root plain "$pack" keep d_cut 7
        case_run $pack "cut inside stage 1's header" "$race" root plain "$pack" keep d_cut_entry 2
        case_run $pack "$noise_data (4 KB)" "$race" root plain "$pack" keep d_noise 4096 2
        case_run $pack "stage 1 offset 0x7FFFFFFF" "$race" root plain "$pack" keep d_put 0 $((0x7FFFFFFF))
        case_run $pack "stage 1 offset negative (-16)" "$race" root plain "$pack" keep d_put 0 $((0xFFFFFFF0))
        case_run $pack "a directory" "$race" root plain "$pack.*not a regular file" keep d_dir
        case_run $pack "a FIFO" "$race" root plain "$pack.*not a regular file" keep d_fifo
        case_run $pack "no read permission" "$race" nobody plain "$pack.*Permission denied" keep d_unreadable
    done
    case_run mappack.dat "stage 1 as built" "keys:600:$new_race 500" root plain "-" keep
    case_run mappack.dat "stage 1 width 101" "$race" root plain "mappack.dat" keep d_put_entry 0 101
    case_run mappack.dat "stage 1 width and height 65536 (product wraps)" "$race" root plain "mappack.dat" keep \
        d_chain d_put_entry 2 0 65536 d_put_entry 2 4 65536
    case_run mappack.dat "stage 1 width negative (-1)" "$race" root plain "mappack.dat" keep d_put_entry 0 $((0xFFFFFFFF))
    case_run mappack.dat "stage 1 height 0" "$race" root plain "mappack.dat" keep d_put_entry 4 0
    # A map cut inside its layers reads the rest as empty ground: the race may start on
    # what is left, and must run on without harm.
    case_run mappack.dat "cut inside stage 1's layers" "keys:900:$new_race 60 $autoplay 700" root plain \
        "mappack.dat|.*" any d_cut_entry 3000
    case_run epack.dat "stage 1 text length 0xFFFFFFFF" "$race" root plain "イベント文は一時保存領域を超えました" keep \
        d_put_entry 0 $((0xFFFFFFFF))
    case_run epack.dat "stage 1 text length negative (0x80000000)" "$race" root plain "イベント文は一時保存領域を超えました" keep \
        d_put_entry 0 $((0x80000000))
    case_run epack.dat "cut inside stage 1's text" "keys:900:$new_race 60 $autoplay 700" root plain "epack.dat|.*" any \
        d_cut_entry 500

    # The race history: read at start, shown on the history screen, written at shutdown
    # and when a race is confirmed on the ranking. One that cannot be read is never
    # written over; a write that fails keeps the previous file.
    local hist="keys:400:$history_screen"
    case_run save.dat "none yet" game root plain "-" any d_remove
    case_run save.dat empty "$hist" root plain "-" history d_empty
    case_run save.dat "cut inside the first record (30 bytes)" "$hist" root plain "-" history d_chain d_noise 2 520 4 d_cut 1 30
    case_run save.dat "cut inside the third record (100 bytes)" "$hist" root plain "-" history d_chain d_noise 2 520 4 d_cut 1 100
    case_run save.dat "$noise_data (520 bytes)" "$hist" root plain "-" history d_noise 520 4
    case_run save.dat "longer than ten records (5000 bytes)" "$hist" root plain "-" history d_noise 5000 5
    case_run save.dat "every field 0x7FFFFFFF" "$hist" root plain "-" history d_history $((0x7FFFFFFF))
    case_run save.dat "every field negative (0x80000000)" "$hist" root plain "-" history d_history $((0x80000000))
    case_run save.dat "every field -1" "$hist" root plain "-" history d_history $((0xFFFFFFFF))
    case_run save.dat "a directory" "$hist" root plain "save.dat: the race history was not (read|written)" keep d_dir
    case_run save.dat "a FIFO" game root plain "save.dat: the race history was not (read|written)" keep d_fifo
    case_run save.dat "no read permission" game nobody plain "save.dat: .*Permission denied" keep d_chain \
        d_history 1 3 d_unreadable 0
    case_run save.dat "read-only file" game nobody plain "save.dat: the race history was not written" keep \
        d_chain d_history 1 3 d_read_only_file 0
    case_run save.dat "read-only directory, at shutdown" game nobody readonly "save.dat: the race history was not written" keep \
        d_history 3
    case_run save.dat "full directory, at shutdown" game nobody full "save.dat: the race history was not written" keep
    case_run save.dat "read-only directory, at the end of a race" "keys:19900:$race_end" nobody readonly \
        "save.dat: the race history was not written" keep d_history 3
    case_run save.dat "full directory, at the end of a race" "keys:19900:$race_end" nobody full \
        "save.dat: the race history was not written" keep

    # Save slots: read at the load menu (title, continue, slot 0, yes); a slot that is
    # refused leaves the menu on its error and the file untouched. Saving goes through a
    # temporary file: a save that fails keeps the slot's previous file.
    local load="keys:200:$load_slot0" s=$fixture_slot
    local size pieces
    size=$(stat -c %s "$s")
    pieces=$(((size - 92) / 922))
    local no="save0.dat: the race was not loaded"
    case_run save0.dat "as saved" "$load" root plain "-" keep d_copy "$s"
    case_run save0.dat empty "$load" root plain "$no" keep d_empty
    case_run save0.dat "cut inside the header (40 bytes)" "$load" root plain "$no: the file is shorter" keep d_chain d_copy 1 "$s" d_cut 1 40
    case_run save0.dat "cut inside the first piece" "$load" root plain "$no: the file's size" keep d_chain d_copy 1 "$s" d_cut 1 500
    case_run save0.dat "cut inside the camera" "$load" root plain "$no: the file's size" keep d_chain d_copy 1 "$s" d_cut_from_end 1 10
    case_run save0.dat "one byte longer" "$load" root plain "$no: the file's size" keep d_chain d_copy 1 "$s" d_noise_over 2 "$size" 1
    case_run save0.dat "$noise_data ($size bytes)" "$load" root plain "$no" keep d_noise "$size" 6
    case_run save0.dat "piece count 0x7FFFFFFF" "$load" root plain "$no: the number of pieces" keep d_chain d_copy 1 "$s" d_put 2 60 $((0x7FFFFFFF))
    case_run save0.dat "piece count -1" "$load" root plain "$no: the number of pieces" keep d_chain d_copy 1 "$s" d_put 2 60 $((0xFFFFFFFF))
    case_run save0.dat "stage negative (0x80000000)" "$load" root plain "$no: the stage" keep d_chain d_copy 1 "$s" d_put 2 0 $((0x80000000))
    case_run save0.dat "first piece's member count 0x7FFFFFFF" "$load" root plain "$no: a piece's member count" keep \
        d_chain d_copy 1 "$s" d_put 2 $((64 + 12)) $((0x7FFFFFFF))
    case_run save0.dat "first piece's position NaN" "$load" root plain "$no: a piece's position" keep \
        d_chain d_copy 1 "$s" d_put 2 $((64 + 36)) $((0x7FC00000))
    case_run save0.dat "first piece far off the board" "$load" root plain "$no: a piece stands outside" keep \
        d_chain d_copy 1 "$s" d_put 2 $((64 + 36)) $((0x49742400))
    case_run save0.dat "first member's id -1" "$load" root plain "$no: a member's character id" keep \
        d_chain d_copy 1 "$s" d_put 2 $((64 + 188)) $((0xFFFFFFFF))
    case_run save0.dat "camera infinite" "$load" root plain "$no: the camera" keep \
        d_chain d_copy 1 "$s" d_put 2 $((64 + 922 * pieces)) $((0x7F800000))
    case_run save0.dat "a directory" "$load" root plain "save0.dat: the slot cannot be read: not a regular file" keep d_dir
    case_run save0.dat "a FIFO" "$load" root plain "save0.dat: the slot cannot be read: not a regular file" keep d_fifo
    case_run save0.dat "no read permission" "$load" nobody plain "save0.dat: the slot cannot be read: Permission denied" keep \
        d_chain d_copy 1 "$s" d_unreadable 0
    local save="keys:300:$save_slot0" nosave="save0.dat: the race was not saved"
    case_run save0.dat "saved over a directory" "$save" root plain "$nosave: not a regular file" keep d_dir
    case_run save0.dat "saved over a read-only file" "$save" nobody plain "$nosave: Permission denied" keep \
        d_chain d_copy 1 "$s" d_read_only_file 0
    case_run save0.dat "saved into a read-only directory" "$save" nobody readonly "$nosave: Permission denied" keep d_copy "$s"
    case_run save0.dat "saved into a full directory" "$save" nobody full "$nosave: No space left" keep
    wait
}

status_all=0
for build in "$@"; do
    build=$(cd "$build" && pwd) || exit 2
    build_tag=$(basename "$build")
    game="$build/sugoroku"
    shot="$build/tools/screenshot/screenshot"
    for f in "$game" "$shot" "$build/data.dat" "$build/mappack.dat" "$build/epack.dat"; do
        [ -e "$f" ] || { echo "bad-data.sh: $f is not built" >&2; exit 2; }
    done
    sanitizer_env=()
    sanitized=0
    settle_seconds=10
    long_seconds=240
    # (grep reads to the end: with -q, strings would die of SIGPIPE and pipefail say no.)
    if strings "$game" | grep __asan_init >/dev/null; then
        # Separate programs: leaks are not checked (the X and GL libraries unload before
        # the check); every memory error and undefined behaviour stops the run.
        sanitizer_env=(ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=0
            UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1)
        sanitized=1
        settle_seconds=30
        long_seconds=900
    fi

    # A slot file as the game writes it, saved from a new race: the damage starts from it.
    fixture_slot="$work/$build_tag-slot.dat"
    mkdir -p "$work/fixture"
    rm -f "$work/fixture"/*
    cp "$build/data.dat" "$build/mappack.dat" "$build/epack.dat" "$work/fixture/"
    (cd "$work/fixture" && "${pin[@]}" env "${sanitizer_env[@]}" "$shot" --frames 300 --keys "$save_slot0" \
        --out "$work/fixture.png" --data-dir . >/dev/null 2>&1)
    if [ ! -s "$work/fixture/save0.dat" ]; then
        echo "bad-data.sh: no slot could be saved with $shot" >&2
        exit 1
    fi
    cp "$work/fixture/save0.dat" "$fixture_slot"

    matrix
done

# ---- the table ---------------------------------------------------------------------------
rows=$(cat "$work"/row-* 2>/dev/null)
fails=$(grep -c '|FAIL' <<<"$rows")
{
    echo "| build | file | damage | run | message | file afterwards | verdict |"
    echo "|---|---|---|---|---|---|---|"
    sed 's/|/ | /g; s/^/| /; s/$/ |/' <<<"$rows"
} >"$work/table.md"
if [ -n "${BAD_DATA_MD:-}" ]; then cp "$work/table.md" "$BAD_DATA_MD"; fi
column -t -s '|' <<<"$rows"
echo
echo "$(grep -c . <<<"$rows") cases, $fails failed"
[ "$fails" -eq 0 ]
