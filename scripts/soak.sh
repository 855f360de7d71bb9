#!/usr/bin/env bash
# Long runs that CI has no time for. Each part prints its own figures; run from the
# repository root after building build/ (and build-asan/ for the sanitizer part).
#
#   bash scripts/soak.sh races    # 100 races in the normal build, resident memory after 1, 10, 100
#   bash scripts/soak.sh asan     # 306 races in the sanitizer build: every stage, every team, 34 seeds
#   bash scripts/soak.sh frames   # title, board and battle screen, 10 minutes of paced frames each
#   bash scripts/soak.sh all
#
# SOAK_MINUTES changes the length of the frame runs, SOAK_JOBS the sanitizer jobs at once,
# SOAK_STAGE the stage of the normal-build races (2 by default). Output lands in soak-out/.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"
asan="$root/build-asan"
out="$root/soak-out"
minutes=${SOAK_MINUTES:-10}
jobs=${SOAK_JOBS:-$(nproc)}
mkdir -p "$out"
export SDL_AUDIODRIVER=dummy

# Resident memory after the first race is well below that after the later ones: when the
# first race frees its large blocks (the archive, decoded pictures), the C library raises
# the size from which it maps blocks of their own, so from the second race on they come
# from the heap and stay there, free, for the next race. "heap in use" is what the
# program really holds; it stays level from race to race.
races() {
    local stage=${SOAK_STAGE:-2}
    echo "== 100 races on stage $stage, normal build"
    SDL_VIDEODRIVER=offscreen /usr/bin/time -v "$build/tools/racesim/racesim" --stage "$stage" --seed 1 \
        --races 100 --rss --data-dir "$build" >"$out/races.txt" 2>"$out/races.err"
    local rc=$?
    grep '^rss' "$out/races.txt"
    grep -E 'Elapsed|User time|Maximum resident' "$out/races.err"
    grep '^racesim:' "$out/races.err"
    echo "races exit status $rc"
}

asan() {
    [ -x "$asan/tools/racesim/racesim" ] || { echo "no $asan/tools/racesim/racesim"; return 1; }
    echo "== 306 races in the sanitizer build ($jobs at once)"
    local supp="$out/lsan.supp"
    # Mesa's and SDL's own leaks at exit are not ours.
    printf 'leak:libGL\nleak:libgallium\nleak:libLLVM\nleak:libSDL2\nleak:libdbus\nleak:libX11\n' >"$supp"
    rm -f "$out"/asan-*
    local list="$out/asan-jobs.txt"
    : >"$list"
    # Each stage and team gets 34 seeds, run as two halves of 17 so that the jobs stay
    # short and the last ones do not leave all but one core idle.
    for stage in 1 2 3; do
        for team in 0 1 2; do
            echo "$stage $team 0" >>"$list"
            echo "$stage $team 17" >>"$list"
        done
    done
    local started=$SECONDS
    # shellcheck disable=SC2016
    xargs -P "$jobs" -L 1 bash -c '
        stage=$0 team=$1 first=$2
        log="'"$out"'/asan-s$stage-t$team-$first"
        SDL_VIDEODRIVER=offscreen \
        ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1 \
        LSAN_OPTIONS=suppressions='"$supp"':print_suppressions=0 \
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
            "'"$asan"'/tools/racesim/racesim" --stage "$stage" --team "$team" \
            --seed $((stage * 1000 + team * 100 + first)) --races 17 --data-dir "'"$build"'" >"$log.txt" 2>"$log.err"
        echo "stage $stage team $team seeds from $((stage * 1000 + team * 100 + first)): exit $? races $(grep -c ^stage= "$log.txt") at $(date +%T)"
    ' <"$list"
    echo "sanitizer races: $(cat "$out"/asan-*.txt | grep -c ^stage=) in $((SECONDS - started)) s"
    echo "sanitizer reports: $(grep -l -E 'ERROR: (Address|Leak)Sanitizer|runtime error' "$out"/asan-*.err | wc -l) files"
    echo "invariant breaks:"
    grep -h '^racesim:' "$out"/asan-*.err
}

# Samples the resident memory of PID every 30 s for the given seconds into FILE.
sample_rss() { # pid seconds file
    local pid=$1 seconds=$2 file=$3 t=0
    : >"$file"
    while [ "$t" -le "$seconds" ] && kill -0 "$pid" 2>/dev/null; do
        echo "$t $(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null)" >>"$file"
        sleep 30
        t=$((t + 30))
    done
}

# Frame runs (inside an X server): the real game on the title and on the board (its die
# waiting for the player's key), and the screenshot command, paced, on a battle of the
# player's party (its reel waiting for the player's key).
frames_inner() {
    unset SDL_VIDEODRIVER
    local seconds=$((minutes * 60)) work
    work=$(mktemp -d)
    for where in title board; do
        mkdir "$work/$where"
        cp "$build"/data.dat "$build"/mappack.dat "$build"/epack.dat "$work/$where/"
        (cd "$work/$where" && exec "$build/sugoroku" >"$out/frames-$where.log" 2>&1) &
        eval "pid_$where=$!"
    done
    sleep 3
    # Board: a new race with the first team. Keys go to the window of that process.
    local wid
    wid=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid_board" | head -n 1)
    for key in Return Return; do
        xdotool windowactivate --sync "$wid" 2>/dev/null
        xdotool keydown --window "$wid" "$key"; sleep 0.1; xdotool keyup --window "$wid" "$key"; sleep 1.5
    done
    mkdir "$work/battle"
    cp "$build"/data.dat "$build"/mappack.dat "$build"/epack.dat "$work/battle/"
    "$build/tools/screenshot/screenshot" --paced --seed "$BATTLE_SEED" --keys "$BATTLE_KEYS" \
        --frames $((seconds * 60 + BATTLE_FRAME)) --out "$out/frames-battle.png" --data-dir "$work/battle" \
        >"$out/frames-battle.log" 2>&1 &
    local pid_battle=$!
    sample_rss "$pid_title" "$seconds" "$out/rss-title.txt" &
    sample_rss "$pid_board" "$seconds" "$out/rss-board.txt" &
    # The battle run ends by itself after its frames; on a busy machine they may come
    # slower than 60 a second, so it is sampled for as long as it lasts.
    sample_rss "$pid_battle" $((seconds * 3)) "$out/rss-battle.txt" &
    sleep "$seconds"
    sleep 35
    import -window root "$out/frames-root.png" 2>/dev/null
    kill "$pid_title" "$pid_board" 2>/dev/null
    wait "$pid_battle"
    echo "battle run: exit $? $(cat "$out/frames-battle.log")"
    echo "battle screen from second $((BATTLE_FRAME / 60)) on; its last frame: $out/frames-battle.png"
    wait
    for where in title board battle; do
        echo "$where resident kB by seconds: $(tr '\n' ' ' <"$out/rss-$where.txt")"
    done
    rm -rf "$work"
}

# A battle of the player's own party: seed 6, a new race with the first team, played as a
# player would (Return on the die, the first open way at a fork). Its fourth move ends in
# a battle whose party reel spins from frame 3135 on and waits for the player's key, so
# the screen stays as it is. A change to the game's rules or timing can move that
# battle: then look at frames-battle.png, and find the keys anew the same way.
BATTLE_SEED=${BATTLE_SEED:-6}
BATTLE_FRAME=${BATTLE_FRAME:-3135}
BATTLE_KEYS=${BATTLE_KEYS:-"10 return 20 return return right 7 down 827 return down 7 down 719 return right 7 right 753 return right 7 right 749 return"}

frames() {
    echo "== title, board and battle screen, $minutes minutes of frames each"
    SOAK_INNER=1 xvfb-run -a -s "-screen 0 1600x1200x24" bash "${BASH_SOURCE[0]}" frames_inner
}

case "${1:-all}" in
races) races ;;
asan) asan ;;
frames) frames ;;
frames_inner) [ "${SOAK_INNER:-}" = 1 ] && frames_inner ;;
all) races; asan; frames ;;
*) echo "usage: soak.sh races|asan|frames|all"; exit 2 ;;
esac
