#!/usr/bin/env bash
# The screenshot command's whole path once: start-up on the real data.dat in a directory
# of its own (shutdown writes the history there), frames with keys, read-back, PNG.
#   smoke_test.sh SCREENSHOT_BINARY BUILD_DIR
set -euo pipefail
bin="$1"
build="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
ln -s "$build/data.dat" "$work/data.dat"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
"$bin" --frames 40 --keys "20 down return" --out "$work/shot.png" --data-dir "$work"
# A PNG signature and a 640 x 480 header.
[ "$(head -c 8 "$work/shot.png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ]
[ "$(head -c 24 "$work/shot.png" | tail -c 8 | od -An -tx1 | tr -d ' \n')" = "00000280000001e0" ]
# A bad key script is refused before anything starts.
if "$bin" --frames 1 --keys "jump" --out "$work/bad.png" --data-dir "$work" 2>/dev/null; then
  echo "an unknown key was accepted" >&2
  exit 1
fi
[ ! -e "$work/bad.png" ]
echo "screenshot smoke test passed"
