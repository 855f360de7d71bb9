#!/usr/bin/env bash
# A picture of every distinct screen of the game, drawn through OpenGL by the screenshot
# command from the data files of a build, into one folder:
#
#   bash scripts/screenshots.sh OUTDIR [BUILD_DIR]
#
# Chance is seeded, so every picture comes out the same each time. The key scripts below
# were found by playing those seeds; a change to the rules or the stages may move a
# screen to another frame, and then the picture shows something else: look at them.
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

failed=0
# shoot NAME SEED FRAMES KEYS
shoot() {
    local name=$1 seed=$2 frames=$3 keys=$4
    rm -rf "$work/run" && mkdir "$work/run"
    cp "$build"/data.dat "$build"/mappack.dat "$build"/epack.dat "$work/run/"
    if "$shot" --seed "$seed" --frames "$frames" --keys "$keys" --out "$out/$name.png" \
        --data-dir "$work/run" >/dev/null 2>"$work/err"; then
        echo "$name.png"
    else
        echo "$name.png: FAILED: $(cat "$work/err")" >&2
        failed=1
    fi
}

# The keys of a player who presses Return, Right, Down, Left and Up in turn, six frames
# apart, for ROUNDS rounds: enough to roll, choose ways and page messages.
rounds() { local i; for ((i = 0; i < $1; ++i)); do printf ' 4 return 4 right 4 down 4 left 4 up'; done; }

new_race="10 return 20 return"                 # title: new race; team select: the first team
menu="shift 10"                                # on the board: the command menu
autoplay="$menu down 3 down 3 down 3 down 3 return 10 down 3 return" # its fifth item, then yes

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
# Title entry 3 loads a save slot: its screen belongs here once it opens.
shoot 09-load-from-title 1 60 "10 down 3 right 3 return"

# The board at the start, with the team panel (A) and with the status bar off (S).
shoot 10-board 1 130 "$new_race 90"
shoot 11-board-team-panel 1 130 "$new_race 60 a 20"
shoot 12-board-bar-toggled 1 130 "$new_race 60 s 20"
# The command menu, team status from it, and the in-race options.
shoot 13-command-menu 1 130 "$new_race 60 $menu 30"
shoot 14-team-status 1 160 "$new_race 60 $menu down 3 return 40"
shoot 15-options-in-race 1 160 "$new_race 60 $menu down 3 down 3 down 3 down 3 down 3 return 40"
shoot 16-autoplay-banner 1 160 "$new_race 60 $autoplay 40"

# Events and battles of seed 1 with the keys in turn: an event at frame 1793 starts a
# battle of the player's party at 1811; Return stops its reel and the 3D scene follows.
shoot 20-event-message 1 1805 "$new_race$(rounds 59)"
shoot 21-battle-screen 1 1900 "$new_race$(rounds 60)"
shoot 22-battle-scene 1 1985 "$new_race$(rounds 66)"
shoot 23-event-choice 2 480 "$new_race$(rounds 15)"

# A whole race on automatic play: the ranking at frame 19500, then Return: the history.
shoot 30-ranking 1 19620 "$new_race 60 $autoplay"
shoot 31-history 1 19800 "$new_race 60 $autoplay 19450 return"

exit $failed
