#!/usr/bin/env bash
# Installs the dependencies, builds, and runs the main job: the test host
# loads the built plug-in, prints its identity and runs a few seconds of
# audio through it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/install-deps.sh"
build="${TRV_BUILD_DIR:-$root/build}"
bash "$root/tools/build.sh" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
out="${TRV_DEMO_DIR:-$root/demo-output}"
mkdir -p "$out"
sox -n -r 48000 -c 2 -b 32 -e floating-point "$out/input.wav" synth 3 sine 440 gain -18
"$build/tools/trvhost/trvhost" --plugin "$build/plugin/libtrv.so" --info
"$build/tools/trvhost/trvhost" --plugin "$build/plugin/libtrv.so" \
  --seconds 3 --input "$out/input.wav" --output "$out/output.wav" --play
echo "Input and output: $out/input.wav $out/output.wav"
sox "$out/output.wav" -n stats 2>&1 | grep -E "RMS lev dB|Length"
