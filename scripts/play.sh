#!/usr/bin/env bash
# Builds the game and its data files (not the tests, benchmarks or other tools) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target sugoroku content stage_content
cd build
exec ./sugoroku
