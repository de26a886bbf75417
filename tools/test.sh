#!/usr/bin/env bash
# Builds from scratch and runs the whole test suite: every test of the
# normal build (unit, end-to-end, real host, service), then the unit tests
# again under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${TRV_JOBS:-$(nproc)}"
base="${TRV_TEST_BUILD_DIR:-$root/build-test}"

bash "$root/tools/build.sh" "$base/release" -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir "$base/release" --output-on-failure -j "$jobs" --timeout 600

bash "$root/tools/build.sh" "$base/asan" -DCMAKE_BUILD_TYPE=Debug -DTRV_SANITIZE=ON \
  -DTRV_BUILD_BENCH=OFF -DTRV_BUILD_SERVICE=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$base/asan" --output-on-failure -j "$jobs" -L unit --timeout 600

# The receive path against random datagrams, a fixed number of runs.
TRV_FUZZ_BUILD_DIR="$base/fuzz" bash "$root/fuzz/run.sh" "${TRV_FUZZ_RUNS:-20000}"
