#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the game need.
set -euo pipefail
packages=(
  build-essential cmake pkg-config git
  libsdl2-dev libgl-dev libegl-dev libgl1-mesa-dri libpng-dev libjpeg-dev zlib1g-dev
  libgtest-dev libbenchmark-dev
  libfreetype-dev fonts-vlgothic
  xvfb xauth xdotool x11-utils imagemagick
  clang libclang-rt-14-dev clang-tidy clang-format cppcheck
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
