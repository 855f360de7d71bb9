#!/usr/bin/env bash
# A picture of every distinct screen of the game, drawn through OpenGL by the screenshot
# command from the data files of a build, into one folder:
#
#   bash scripts/screenshots.sh OUTDIR [BUILD_DIR]
#
# Chance is seeded, so every picture comes out the same each time. The key scripts below
# were found by playing those seeds; a change to the rules or the stages may move a
# screen to another frame, and then the picture shows something else: look at them.
# `screenshot --trace` prints the frames at which screens, events and battle states
# begin, which is how to find the new frames.
set -uo pipefail

out=${1:?usage: screenshots.sh OUTDIR [BUILD_DIR]}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${2:-$root/build}" && pwd)
shot="$build/tools/screenshot/screenshot"
[ -x "$shot" ] || { echo "no screenshot command at $shot" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)
export SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen} SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

# Every picture starts from fresh data files, so that no race history or save carries over.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Pictures are shot JOBS at a time (4 unless set), each in its own copy of the data.
max_jobs=${JOBS:-4}
# shoot NAME SEED FRAMES KEYS
shoot() {
    local name=$1 seed=$2 frames=$3 keys=$4
    while [ "$(jobs -rp | wc -l)" -ge "$max_jobs" ]; do wait -n; done
    (
        run="$work/$name"
        mkdir "$run"
        cp "$build"/data.dat "$build"/mappack.dat "$build"/epack.dat "$run/"
        if "$shot" --seed "$seed" --frames "$frames" --keys "$keys" --out "$out/$name.png" \
            --data-dir "$run" >/dev/null 2>"$run/err"; then
            echo "$name.png"
        else
            echo "$name.png: FAILED: $(cat "$run/err")" >&2
            touch "$work/failed"
        fi
        rm -rf "$run"
    ) &
}

# The keys of a player who presses Return, Right, Down, Left and Up in turn, six frames
# apart, for ROUNDS rounds: enough to roll, choose ways and page messages.
rounds() { local i; for ((i = 0; i < $1; ++i)); do printf ' 4 return 4 right 4 down 4 left 4 up'; done; }

new_race="10 return 20 return"                 # title: new race; team select: the first team
menu="shift 10"                                # on the board: the command menu
autoplay="$menu down 3 down 3 down 3 down 3 return 10 down 3 return" # its fifth item, then yes

# A whole race on automatic play: the ranking at frame 19500 with all three teams placed,
# then Return: the history.
# The longest runs, so they start first.
shoot 30-ranking 1 19620 "$new_race 60 $autoplay"
shoot 31-history 1 19800 "$new_race 60 $autoplay 19450 return"

# Title and the screens of its entries (new race, options, picture, history, gallery,
# stage select; the grid is two columns by four rows).
shoot 01-title 1 90 ""
shoot 02-team-select 1 70 "10 return"
shoot 03-options 1 60 "10 down 3 return"
shoot 04-picture 1 90 "10 down 3 down 3 return"
shoot 05-history-empty 1 120 "10 down 3 down 3 right 3 return"
shoot 06-gallery 1 120 "10 down 3 down 3 down 3 return"
shoot 07-stage-select 1 60 "10 right 3 up 3 return"
shoot 08-quit-dialog 1 40 "10 right 3 return"
# Title entry 3 opens the save slots for loading.
shoot 09-load-from-title 1 60 "10 down 3 right 3 return"

# The board at the start with its overlays (team panel, minimap, status bar), then with
# the team panel hidden (A) and with the minimap hidden (S).
shoot 10-board 1 130 "$new_race 90"
shoot 11-board-panel-hidden 1 130 "$new_race 60 a 20"
shoot 12-board-minimap-hidden 1 130 "$new_race 60 s 20"
# The command menu, team status from it, and the in-race options.
shoot 13-command-menu 1 130 "$new_race 60 $menu 30"
shoot 14-team-status 1 160 "$new_race 60 $menu down 3 return 40"
shoot 15-options-in-race 1 160 "$new_race 60 $menu down 3 down 3 down 3 down 3 down 3 return 40"
shoot 16-autoplay-banner 1 160 "$new_race 60 $autoplay 40"
shoot 17-save-from-menu 1 160 "$new_race 60 $menu down 3 down 3 down 3 return 40"
# Saving into slot 0 (Return, then yes): the saved message over the list, the slot's date
# and stage. Loading the empty slot 0: the error message. The date is the clock's.
shoot 18-saved-in-race 1 200 "$new_race 60 $menu down 3 down 3 down 3 return 20 return 5 down 3 return 30"
shoot 19-load-error-in-race 1 200 "$new_race 60 $menu down 3 down 3 return 20 return 5 down 3 return 30"
# Team status on the second team's page with its last member chosen (Down, then Left).
shoot 24-team-status-last 1 200 "$new_race 60 $menu down 3 return 20 down 3 left 3 30"

# Events and battles of seed 1 with the keys in turn (see --trace): the player's party
# meets an enemy group at frame 1149, its reels spin from 1219, the 3D scene of the first
# clash runs from 1340 (the keys stop before it, as Return would skip it); the player's
# event at 2415 asks a choice, then shows a message from 2443.
shoot 20-event-message 1 2465 "$new_race$(rounds 90)"
shoot 21-battle-screen 1 1250 "$new_race$(rounds 45)"
shoot 22-battle-scene 1 1400 "$new_race$(rounds 43)"
shoot 23-event-choice 1 2419 "$new_race$(rounds 90)"

# A board edge of each stage at the start of a race, with the team panel (A) and the
# minimap (S) hidden: the board's side faces show along its left and far edges. Stages 2
# and 3 are chosen on stage select (title entry 7) first.
stage_select="10 right 3 up 3 return 10"
shoot 40-board-edge-stage1 1 160 "$new_race 60 a 3 s 30"
shoot 41-board-edge-stage2 1 190 "$stage_select right 3 return $new_race 60 a 3 s 30"
shoot 42-board-edge-stage3 1 200 "$stage_select right 3 right 3 return $new_race 60 a 3 s 30"

wait
[ ! -e "$work/failed" ]
