#!/usr/bin/env bash
# Builds the fuzz targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a fixed number of inputs
# from its seed corpus. Usage: fuzz/run.sh [runs per target, default 20000]
set -euo pipefail
runs="${1:-20000}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TRV_FUZZ_BUILD_DIR:-$root/build-fuzz}"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTRV_SANITIZE=ON -DTRV_BUILD_FUZZ=ON \
  -DTRV_BUILD_TESTS=OFF -DTRV_BUILD_BENCH=OFF -DTRV_BUILD_SERVICE=OFF >/dev/null

status=0
for dir in "$root"/fuzz/corpus/*/; do
  target="$(basename "$dir")"
  ninja -C "$build" "${target}_fuzz" -j2
  # New inputs go to a scratch folder; the committed seeds stay as they are.
  scratch="$build/fuzz-corpus/$target"
  mkdir -p "$scratch"
  echo "== $target: $runs runs"
  if ! "$build/fuzz/${target}_fuzz" -runs="$runs" -max_len=4096 -seed=1 \
         -artifact_prefix="$build/fuzz-crash-$target-" "$scratch" "$dir"; then
    status=1
  fi
done
exit $status
