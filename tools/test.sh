#!/usr/bin/env bash
# Builds from scratch and runs the whole test suite: every test of the
# normal build (unit, end-to-end, real host, service), then the unit tests
# again under AddressSanitizer + UndefinedBehaviorSanitizer, then the
# fuzz targets (datagram intake, the picture receive path) for a fixed
# number of runs each.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
jobs="${TRV_JOBS:-$(nproc)}"
base="${TRV_TEST_BUILD_DIR:-$root/build-test}"
logs="$base/logs"
mkdir -p "$logs"
passed=0
failed=0

# Runs ctest, keeps its log and adds its counts to the summary.
run_ctest() {
  local name="$1"; shift
  local status=0
  ctest "$@" 2>&1 | tee "$logs/$name.log" || status=1
  local line total bad
  line="$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$logs/$name.log" | tail -n 1 || true)"
  if [ -n "$line" ]; then
    bad="$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')"
    total="$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/')"
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  else
    failed=$((failed + 1))
  fi
  return $status
}

overall=0
bash "$root/tools/build.sh" "$base/release" -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_ctest release --test-dir "$base/release" --output-on-failure -j "$jobs" --timeout 600 || overall=1

bash "$root/tools/build.sh" "$base/asan" -DCMAKE_BUILD_TYPE=Debug -DTRV_SANITIZE=ON \
  -DTRV_BUILD_BENCH=OFF -DTRV_BUILD_SERVICE=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest asan --test-dir "$base/asan" --output-on-failure -j "$jobs" -L unit --timeout 600 || overall=1

# The receive paths against random datagrams and pictures, a fixed number of runs.
if TRV_FUZZ_BUILD_DIR="$base/fuzz" bash "$root/fuzz/run.sh" "${TRV_FUZZ_RUNS:-20000}"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  overall=1
fi

echo "summary: $passed passed, $failed failed"
exit $overall
