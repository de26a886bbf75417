#!/usr/bin/env bash
# Installs every package the build, the tests and the demo need (Debian 12).
# Idempotent: apt-get skips what is already there.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev libmp3lame-dev
  libavcodec-dev libv4l-dev libpng-dev libx11-dev
  libfreetype-dev fonts-liberation2
  libmicrohttpd-dev libsqlite3-dev libsodium-dev
  clang libclang-rt-14-dev
  ardour sox xvfb xdotool x11-apps
  python3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}"
