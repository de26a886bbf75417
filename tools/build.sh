#!/usr/bin/env bash
# Configures and builds one build folder: tools/build.sh DIR [cmake options...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$1"; shift
jobs="${TRV_JOBS:-$(nproc)}"
cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
ninja -C "$dir" -j "$jobs"
