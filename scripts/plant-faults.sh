#!/usr/bin/env bash
# Plants known faults one at a time into a scratch copy of the committed tree, builds
# the game and its tests, runs the whole test suite and reports which plants the suite
# caught (some test failed) and which it missed. The working tree is never touched.
#
#   bash scripts/plant-faults.sh                 # every plant, on HEAD
#   bash scripts/plant-faults.sh --rev main      # on another commit
#   bash scripts/plant-faults.sh close-at-once key-z-input   # only these plants
#
# A plant is a perl substitution on one file; one that no longer matches its file (the
# code moved on) is reported as "not planted" and should be updated. Add plants for the
# code each change touches.
set -uo pipefail

ROOT=${PLANT_ROOT:-$(cd "$(dirname "$0")/.." && pwd)} # PLANT_ROOT: when run from a copy of this script
REV=HEAD
if [[ "${1:-}" == "--rev" ]]; then
    REV=$2
    shift 2
fi
SCRATCH=$(mktemp -d /tmp/plant-faults.XXXXXX)
JOBS=${PLANT_JOBS:-8}

# name | file | perl substitution (run with -0777, so it can span lines)
PLANTS=$(cat <<'EOF'
runframe-guard|src/app/app.cpp|s/(void RunFrame\(\)\n\{\n)    if \(!s_live\)\n        return;\n/$1/
runframe-unpaced-guard|src/app/app.cpp|s/(void RunFrameUnpaced\(\)\n\{\n)    if \(!s_live\)\n        return;\n/$1/
close-at-once|src/app/app.cpp|s/if \(s_inFrame \|\| plat::IsMessageBoxOpen\(\)\)/if (false)/
key-z-input|src/engine/input.cpp|s/0x5A, \/\/ Z/0x58, \/\/ Z/
key-z-keyboard|platform/keyboard.cpp|s/SDL_SCANCODE_Z\)/SDL_SCANCODE_X)/
key-shift-keyboard|platform/keyboard.cpp|s/ \|\| ScancodeDown\(state, count, SDL_SCANCODE_RSHIFT\)//
options-title-track|src/frontend/options.cpp|s/PlayMusic\(origin == kOptionsInGame \? kBoardMusic : kTitleMusic\)/PlayMusic(origin == kOptionsInGame ? kTitleMusic + 0 * kBoardMusic : kTitleMusic)/
options-background-in-game|src/frontend/options.cpp|s/if \(work->origin == kOptionsFromTitle\) \{\n        const SpriteRect& tile/if (true) {\n        const SpriteRect& tile/
options-keeps-its-slot|src/frontend/options.cpp|s/    task->alive = 0;\n    if \(work->origin/    if (work->origin/
lost-device-keeps-running|src/app/app.cpp|s/if \(!InitGraphics\(g_hWnd\)\)\n            g_running = 0;/InitGraphics(g_hWnd);/
scheduler-update-ignores-alive|src/engine/task.cpp|s/if \(task->alive != 0 && task->updateEnabled != 0/if (task->updateEnabled != 0/
scheduler-draw-ignores-alive|src/engine/task.cpp|s/if \(task->alive != 0 && task->drawEnabled != 0/if (task->drawEnabled != 0/
scheduler-kill-kind-ignores-kind|src/engine/task.cpp|s/(void KillTasksOfKind.*?)g_tasks\[slot\].alive != 0 && g_tasks\[slot\].kind == kind/$1g_tasks[slot].alive != 0 \&\& kind == kind/s
graphics-error-message|src/app/app.cpp|s/FailStartup\("direct graphics error"\)/FailStartup("direct sound error")/
graphics-undo-keeps-device|src/app/app.cpp|s/(ReleaseSound\(\);\n)        ReleaseGraphics\(\);\n(        FreeDataFile\(\);\n        FailStartup\("direct graphics error"\))/$1$2/
graphics-undo-keeps-sound|src/app/app.cpp|s/(FreeWorldBuffers\(\);\n)        ReleaseSound\(\);\n(        ReleaseGraphics\(\);\n        FreeDataFile\(\);\n        FailStartup\("direct graphics error"\))/$1$2/
depth-choice-ignored|src/engine/graphics.cpp|s/MatchMainWindowDepth\(settings.depth24 \? 24 : 16\)/MatchMainWindowDepth(24)/
extract-wave-as-png|tools/packdata/archive_tool.cpp|s/if \(!EndsWith\(outPath, ".wav"\)\)/if (false)/
extract-padded-picture|tools/packdata/archive_tool.cpp|s/plat::EncodePng\(pixels.data\(\), image.imageWidth, image.imageHeight\)/plat::EncodePng(image.pixels.data(), image.width, image.height)/
window-client-centred|src/engine/config.cpp|s/CenterOnDesktop\(x, y, kClientWidth \+ frameLeft \+ frameRight, kClientHeight \+ frameTop \+ frameBottom\)/CenterOnDesktop(x, y, kClientWidth + 0 * (frameLeft + frameRight), kClientHeight + 0 * (frameTop + frameBottom))/
stage-rule-heading|src/board/stage_rules.cpp|s/Number\(pos, 0, 270, "heading"/Number(pos, 0, 999999, "heading"/
stage-rule-corridor-width|src/board/stage_rules.cpp|s/if \(open > 2\)/if (open > 4)/
stage-rules-not-at-load|src/board/event.cpp|s/    CheckStageRules\(g_eventText, length, rules\);\n//
map-rules-not-at-load|src/board/stage.cpp|s/    CheckStageMapRules\(&report\);\n//
race-goes-on-without-teams|src/board/turn.cpp|s/if \(!HasTeamInTurnList\(controller\) && !IsSlotAlive\(kRankingSlot\)\)/if (!HasTeamInTurnList(controller) \&\& controller == nullptr)/
goal-places-a-team-twice|src/board/ranking.cpp|s/    if \(HasTeamFinished\(event->piece->teamId\)\)\n        return;\n//
EOF
)

cleanup() {
    git -C "$ROOT" worktree remove --force "$SCRATCH/tree" >/dev/null 2>&1
    rm -rf "$SCRATCH"
}
trap cleanup EXIT

echo "scratch copy of $REV in $SCRATCH/tree"
git -C "$ROOT" worktree add --detach "$SCRATCH/tree" "$REV" >/dev/null || exit 1
TREE=$SCRATCH/tree
BUILD=$TREE/build
echo "first build (content included)..."
if ! { cmake -S "$TREE" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$SCRATCH/cmake.log" 2>&1 &&
       cmake --build "$BUILD" -j"$JOBS" >"$SCRATCH/build.log" 2>&1; }; then
    echo "the unplanted tree does not build; see $SCRATCH/build.log"
    trap - EXIT
    exit 1
fi

run_suite() {
    (cd "$BUILD" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
        ctest -j"$JOBS" --timeout 300 >"$SCRATCH/ctest.log" 2>&1)
}

if ! run_suite; then
    echo "the unplanted suite fails already; see $SCRATCH/ctest.log"
    trap - EXIT
    exit 1
fi

printf '%-36s %-12s %s\n' plant result "failing tests"
caught=0
missed=0
while IFS='|' read -r name file expr; do
    [[ -z "$name" ]] && continue
    if [[ $# -gt 0 ]] && [[ ! " $* " == *" $name "* ]]; then
        continue
    fi
    cp "$TREE/$file" "$SCRATCH/original"
    perl -0777 -pi -e "$expr" "$TREE/$file"
    if cmp -s "$TREE/$file" "$SCRATCH/original"; then
        printf '%-36s %-12s %s\n' "$name" "not planted" "($file no longer matches)"
        continue
    fi
    # The game and its tests only: the content tools' output does not change.
    if ! cmake --build "$BUILD" -j"$JOBS" --target game_tests sugoroku packdata >"$SCRATCH/plant.log" 2>&1; then
        printf '%-36s %-12s %s\n' "$name" "no build" "(see the plant's compiler output)"
    elif run_suite; then
        printf '%-36s %-12s %s\n' "$name" "MISSED" "-"
        missed=$((missed + 1))
    else
        failing=$(grep -E '^\s+[0-9]+ - ' "$SCRATCH/ctest.log" | sed -E 's/^\s+[0-9]+ - ([^ ]+).*/\1/' | tr '\n' ' ')
        printf '%-36s %-12s %s\n' "$name" "caught" "$failing"
        caught=$((caught + 1))
    fi
    cp "$SCRATCH/original" "$TREE/$file"
done <<<"$PLANTS"
cmake --build "$BUILD" -j"$JOBS" --target game_tests sugoroku packdata >/dev/null 2>&1
echo "caught $caught, missed $missed"
[[ $missed -eq 0 ]]
