#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) and runs each for a given time.
#   bash scripts/fuzz.sh SECONDS [TARGET...]     e.g. bash scripts/fuzz.sh 600
# Targets run in parallel, FUZZ_JOBS at a time (default: the number of cores).
# The committed seeds in fuzz/corpus/<target>/ are copied into build-fuzz/corpus/<target>/,
# where the fuzzer adds what it finds; crashing inputs land in build-fuzz/artifacts/<target>/.
# Exits non-zero when any target found a crash, a leak, a hang or undefined behaviour.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
jobs="${FUZZ_JOBS:-$(nproc)}"
dir="$PWD/build-fuzz" # absolute: a target may change its working directory

if ! command -v clang++ >/dev/null; then
  echo "fuzz.sh: clang++ is not installed (bash scripts/deps.sh installs it)" >&2
  exit 2
fi

CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSUGOROKU_FUZZ=ON -DSUGOROKU_WERROR=OFF -DSUGOROKU_BENCH=OFF -DSUGOROKU_CONTENT=OFF >/dev/null
cmake --build "$dir" --target fuzz_targets -j"$(nproc)"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for f in "$dir"/fuzz/fuzz_*; do
    [ -x "$f" ] && targets+=("$(basename "$f" | sed 's/^fuzz_//')")
  done
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz.sh: no fuzz targets yet"; exit 0; }

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# The parsers never need the real window or sound device.
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy

run_one() {
  local t="$1" bin="$dir/fuzz/fuzz_$1"
  local corpus="$dir/corpus/$t" artifacts="$dir/artifacts/$t" log="$dir/logs/$t.log"
  mkdir -p "$corpus" "$artifacts" "$dir/logs"
  [ -d "fuzz/corpus/$t" ] && cp -n fuzz/corpus/"$t"/* "$corpus"/ 2>/dev/null || true
  local dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="$PWD/fuzz/$t.dict")
  # -timeout catches hangs (a parser walking for ever); -rss_limit_mb catches runaway allocations.
  "$bin" "$corpus" -artifact_prefix="$artifacts/" -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "${dict[@]}" >"$log" 2>&1
}

pids=()
names=()
status=0
for t in "${targets[@]}"; do
  [ -x "$dir/fuzz/fuzz_$t" ] || { echo "fuzz.sh: unknown target $t" >&2; exit 2; }
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
  echo "fuzzing $t for ${seconds}s"
  run_one "$t" &
  pids+=($!)
  names+=("$t")
done

for i in "${!pids[@]}"; do
  t="${names[$i]}"
  if wait "${pids[$i]}"; then result=ok; else result=FAILED; status=1; fi
  log="$dir/logs/$t.log"
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  printf '%-10s %-7s %12s executions   log: %s\n' "$t" "$result" "$runs" "$log"
  if [ "$result" = FAILED ]; then
    grep -m3 -E 'ERROR: |runtime error|SUMMARY' "$log" | sed 's/^/    /' || true
    ls "$dir/artifacts/$t"/* 2>/dev/null | sed 's/^/    input: /' || true
  fi
done
exit $status
