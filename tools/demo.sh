#!/usr/bin/env bash
# Installs the dependencies, builds, and runs the main job: the community
# service and two musicians' test hosts on loopback, connected through the
# service, each streaming a piece of music and a synthetic camera's pictures
# to the other through the plug-in, each with its editor open
# (tools/demo_session.py prints what happens and leaves the WAV and PNG
# files, the two editors' screenshots among them).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/install-deps.sh"
build="${TRV_BUILD_DIR:-$root/build}"
bash "$root/tools/build.sh" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
out="${TRV_DEMO_DIR:-$root/demo-output}"
mkdir -p "$out"
# The plug-in library a sequencer would load; the peers below run the same
# plug-in built into the test host.
"$build/tools/trvhost/trvhost" --plugin "$build/plugin/libtrv.so" --info |
  grep -E '^(plug-in|effect name|vendor|inputs):'
python3 "$root/tools/demo_session.py" --build "$build" --out "$out" --seconds "${TRV_DEMO_SECONDS:-10}"
