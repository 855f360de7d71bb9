#!/usr/bin/env bash
# Builds everything and runs every test:
#   1. the normal build and the whole test suite (build/);
#   2. the game and its data files once more in a Release build (build-release/), where
#      the optimiser sees more and warns of more;
#   3. clang-format's check of the whole tree (.clang-format) and clang-tidy over the game,
#      the platform layer and the tools (.clang-tidy);
#   4. the whole test suite again with AddressSanitizer and UndefinedBehaviorSanitizer
#      (build-asan/), failing on any report;
#   5. every fuzz target for a short while on its seed corpus (build-fuzz/, clang only).
# Its builds treat warnings in the game's own code as errors.
# FUZZ_SECONDS sets the time per fuzz target (default 20; 0 skips fuzzing).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
# GL tests draw offscreen through Mesa without an X server; sound goes nowhere.
export SDL_VIDEODRIVER=offscreen
export SDL_AUDIODRIVER=dummy
jobs="$(nproc)"
root="$PWD"
started=$SECONDS
stage() { echo; echo "==== $* ($((SECONDS - started)) s so far)"; }

stage "normal build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DSUGOROKU_WERROR=ON
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

stage "Release build of the game"
# Only what playing needs: the game and the tools that make its data files.
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DSUGOROKU_WERROR=ON -DSUGOROKU_BENCH=OFF
cmake --build build-release -j"$jobs" --target sugoroku content stage_content

stage "clang-format and clang-tidy"
# The whole tree keeps the one style of .clang-format.
find src platform tools tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format --dry-run -Werror
# run-clang-tidy fans the files out over every core and fails on any finding.
if ! run-clang-tidy -quiet -p build -j "$jobs" "^$root/(src|platform|tools)/" \
    >build/clang-tidy.log 2>&1; then
  sed 's/\x1b\[[0-9;]*m//g' build/clang-tidy.log | grep -E '(warning|error):' | sort -u ||
    tail -20 build/clang-tidy.log
  echo "clang-tidy found problems (full log: build/clang-tidy.log)" >&2
  exit 1
fi

stage "sanitizer build and tests"
# The content tools run sanitized too: making data.dat again costs seconds and checks them.
# GCC leaves float-to-integer overflow out of -fsanitize=undefined; saved floats reach such casts.
extra_sanitizers="-fsanitize=float-cast-overflow -fno-sanitize-recover=float-cast-overflow"
# Line tables are all a sanitizer report needs; full debug information costs about a
# fifth of this build's time on a 2-core machine.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSUGOROKU_SANITIZE=ON -DSUGOROKU_WERROR=ON -DSUGOROKU_BENCH=OFF \
  -DCMAKE_C_FLAGS="$extra_sanitizers" -DCMAKE_CXX_FLAGS="$extra_sanitizers" \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
cmake --build build-asan -j"$jobs"
# Mesa, LLVM (llvmpipe), SDL and the X/dbus libraries keep allocations until exit;
# the game's own code may not leak.
cat >build-asan/lsan.supp <<'SUPP'
leak:libGLX_mesa
leak:libGL.so
leak:libGLdispatch
leak:libEGL
leak:_dri.so
leak:libgallium
leak:libLLVM
leak:libSDL2
leak:libX11
leak:libxcb
leak:libdbus
leak:libasound
leak:libpulse
leak:libwayland
SUPP
# Full unwinding on malloc: Mesa and SDL have no frame pointers, and the suppressions
# above need whole stacks to tell their allocations from ours. Full unwinding deadlocks
# inside LLVM's JIT (its unwinder allocates under its own lock), so GL runs on Mesa's
# softpipe without LLVM here. The driver stays loaded (preloaded) so that its stack frames
# can still be named when the leaks are checked at exit, after the display has closed.
sanitizer_env=(
  GALLIUM_DRIVER=softpipe DRAW_USE_LLVM=0
  "ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0:verify_asan_link_order=0"
  "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1"
  "LSAN_OPTIONS=suppressions=$root/build-asan/lsan.supp:print_suppressions=0"
)
dri_driver="$(ls /usr/lib/*/dri/swrast_dri.so 2>/dev/null | head -n 1 || true)"
[ -z "$dri_driver" ] || sanitizer_env+=("LD_PRELOAD=$dri_driver")
# The end-to-end scripts start the game as a program of its own, in a fresh process
# without the preload; there, leaks are not checked (the same start-up chain runs
# leak-checked in-process in the first group).
separate='^e2e[.]'
(cd build-asan && env "${sanitizer_env[@]}" ctest --output-on-failure -j"$jobs" -E "$separate")
# The whole-race end-to-end run (a race played to its end) takes minutes of real
# frames; its code runs sanitized in-process in the race simulator and the headless
# race tests, so here it is left to the normal build.
(cd build-asan && env ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=0 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --output-on-failure -j"$jobs" -R "$separate" \
  -E '^e2e[.]whole_race$')

stage "fuzz targets"
fuzz_seconds="${FUZZ_SECONDS:-20}"
if [ "$fuzz_seconds" -gt 0 ] && command -v clang++ >/dev/null && [ -d fuzz ]; then
  bash scripts/fuzz.sh "$fuzz_seconds"
else
  echo "skipped"
fi

stage "all passed"
