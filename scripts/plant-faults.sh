#!/usr/bin/env bash
# Plants known faults one at a time into a scratch copy of the committed tree, builds it,
# runs the test suite and reports which plants the suite caught (some test failed) and
# which it missed. The working tree is never touched.
#
#   bash scripts/plant-faults.sh                      # every plant, on HEAD
#   bash scripts/plant-faults.sh --rev main           # on another commit
#   bash scripts/plant-faults.sh --area battle        # the plants of scripts/plants/battle.txt
#   bash scripts/plant-faults.sh --quick              # in-process tests only (ctest -L quick)
#   bash scripts/plant-faults.sh close-at-once key-z-input   # only these plants
#
# The plants live in scripts/plants/AREA.txt, one a line: name | file | perl substitution
# (run with -0777, so it can span lines); lines starting with # are comments. A plant that
# no longer matches its file (the code moved on) is reported as "not planted" and should be
# updated. Each plant first meets the quick tests; only a plant they miss meets the rest
# (the race simulator's races and the end-to-end scripts), unless --quick is given.
set -uo pipefail

ROOT=${PLANT_ROOT:-$(cd "$(dirname "$0")/.." && pwd)} # PLANT_ROOT: when run from a copy of this script
REV=HEAD
QUICK=0
AREAS=()
while [[ $# -gt 0 ]]; do
    case "$1" in
    --rev) REV=$2; shift 2 ;;
    --area) AREAS+=("$2"); shift 2 ;;
    --quick) QUICK=1; shift ;;
    *) break ;;
    esac
done
JOBS=${PLANT_JOBS:-$(nproc)}
SCRATCH=$(mktemp -d /tmp/plant-faults.XXXXXX)

cleanup() {
    git -C "$ROOT" worktree remove --force "$SCRATCH/tree" >/dev/null 2>&1
    rm -rf "$SCRATCH"
}
trap cleanup EXIT

echo "scratch copy of $REV in $SCRATCH/tree"
git -C "$ROOT" worktree add --quiet --detach "$SCRATCH/tree" "$REV" || exit 1
TREE=$SCRATCH/tree
BUILD=$TREE/build

# The plants, from the scratch copy, so that --rev takes that commit's list: area|name|file|expr.
if [[ ${#AREAS[@]} -eq 0 ]]; then
    for f in "$TREE"/scripts/plants/*.txt; do AREAS+=("$(basename "$f" .txt)"); done
fi
PLANTS=""
for area in "${AREAS[@]}"; do
    list="$TREE/scripts/plants/$area.txt"
    [[ -f "$list" ]] || { echo "no plant list $list"; exit 1; }
    PLANTS+=$(grep -vE '^\s*(#|$)' "$list" | sed "s/^/$area|/")$'\n'
done

echo "first build (content included)..."
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
if ! { cmake -S "$TREE" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSUGOROKU_BENCH=OFF >"$SCRATCH/cmake.log" 2>&1 &&
       cmake --build "$BUILD" -j"$JOBS" >"$SCRATCH/build.log" 2>&1; }; then
    echo "the unplanted tree does not build; see $SCRATCH/build.log"
    trap - EXIT
    exit 1
fi

# run_suite LABEL-ARGS: 0 when every test passed; the failing tests' names in $SCRATCH/failing.
run_suite() {
    (cd "$BUILD" && ctest -j"$JOBS" --timeout 1560 "$@" >"$SCRATCH/ctest.log" 2>&1)
    local status=$?
    grep -E '^\s+[0-9]+ - ' "$SCRATCH/ctest.log" | sed -E 's/^\s+[0-9]+ - ([^ ]+).*/\1/' | tr '\n' ' ' >"$SCRATCH/failing"
    return $status
}

if ! run_suite -L quick || { [[ $QUICK -eq 0 ]] && ! run_suite -LE quick; }; then
    echo "the unplanted suite fails already: $(cat "$SCRATCH/failing")"
    trap - EXIT
    exit 1
fi

printf '%-10s %-40s %-12s %s\n' area plant result "failing tests"
caught=0
missed=0
unplanted=0
while IFS='|' read -r area name file expr; do
    [[ -z "$name" ]] && continue
    if [[ $# -gt 0 ]] && [[ ! " $* " == *" $name "* ]]; then
        continue
    fi
    cp "$TREE/$file" "$SCRATCH/original"
    perl -0777 -pi -e "$expr" "$TREE/$file"
    if cmp -s "$TREE/$file" "$SCRATCH/original"; then
        printf '%-10s %-40s %-12s %s\n' "$area" "$name" "not planted" "($file no longer matches)"
        unplanted=$((unplanted + 1))
        continue
    fi
    if ! cmake --build "$BUILD" -j"$JOBS" >"$SCRATCH/plant.log" 2>&1; then
        printf '%-10s %-40s %-12s %s\n' "$area" "$name" "no build" "(see the plant's compiler output)"
        unplanted=$((unplanted + 1))
    elif ! run_suite -L quick || { [[ $QUICK -eq 0 ]] && ! run_suite -LE quick; }; then
        printf '%-10s %-40s %-12s %s\n' "$area" "$name" "caught" "$(cat "$SCRATCH/failing")"
        caught=$((caught + 1))
    else
        printf '%-10s %-40s %-12s %s\n' "$area" "$name" "MISSED" "-"
        missed=$((missed + 1))
    fi
    cp "$SCRATCH/original" "$TREE/$file"
done <<<"$PLANTS"
echo "caught $caught, missed $missed, not planted or not built $unplanted"
[[ $missed -eq 0 && $unplanted -eq 0 ]]
