#!/usr/bin/env bash
# Real-host test with Ardour 7 (Debian package):
#   1. Ardour's VST scanner scans a copy of the plug-in; the cache entry it
#      writes must describe the plug-in correctly.
#   2. Ardour's headless Lua session tool (ardour_session.lua) creates a
#      session on the dummy backend, inserts the plug-in on a stereo track,
#      records a sine together with what the plug-in puts out live, and
#      renders the recorded range through the track with the plug-in active
#      and deactivated (32-bit float WAV).
#   3. sox checks the files: not silent, no NaN/Inf, active render ==
#      bypassed render (the plug-in passes its input through by default);
#      the plug-in's settings file is written again when the session closes.
#
# The renders are bounces (Track::bounce_range), not exports: on this host
# Ardour 7.3's export path (SimpleExport, freewheeling the dummy backend)
# corrupts its own heap in a sizeable share of exports, with or without any
# plug-in in the session, while bounces of the same range never failed.
#
# usage: ardour_host_test.sh PATH/TO/libtrv.so PATH/TO/ardour_session.lua
# Exit status: 0 pass, 1 fail, 77 skipped (Ardour's VST scanner not installed).
# Everything lives in a fresh temporary folder that is removed at the end.

set -u

readonly SCANNER=/usr/lib/ardour7/ardour-vst-scanner
readonly ARDOUR_LIBDIR=/usr/lib/ardour7

# What the scanner must record for our plug-in.
readonly WANT_NAME="TRV"
readonly WANT_CREATOR="Tarvonet"
readonly WANT_ID=1414682222        # 'TRVn' = 0x5452566E
readonly WANT_INPUTS=2
readonly WANT_OUTPUTS=2
readonly WANT_MIDI_INPUTS=1
readonly WANT_MIDI_OUTPUTS=1

# Tolerances for the recorded and rendered audio.
readonly RMS_MIN=0.07              # a -18 dBFS sine has RMS 0.089
readonly RMS_MAX=0.11
readonly PEAK_MAX=0.5              # sox maps NaN/Inf to full scale
readonly DIFF_MAX=0.0001           # active vs bypassed, absolute per sample

# Upper bounds for each step, well inside the CTest timeout.
readonly SCAN_TIMEOUT=30
readonly SESSION_TIMEOUT=90

# Log lines carry the seconds since the start.
log() { printf '[ardour-host %3ds] %s\n' "$SECONDS" "$*"; }
fail() {
  printf '[ardour-host %3ds] FAIL: %s\n' "$SECONDS" "$*" >&2
  exit 1
}

if [ $# -ne 2 ]; then
  echo "usage: $0 PATH/TO/libtrv.so PATH/TO/ardour_session.lua" >&2
  exit 2
fi
PLUGIN_SRC=$1
LUA_SCRIPT=$2

if [ ! -x "$SCANNER" ]; then
  log "SKIP: $SCANNER not found (install Debian's 'ardour' package)"
  exit 77
fi

[ -f "$PLUGIN_SRC" ] || fail "plug-in not found: $PLUGIN_SRC"
[ -f "$LUA_SCRIPT" ] || fail "Lua session script not found: $LUA_SCRIPT"
LUA_TOOL=$(command -v ardour7-lua || true)
[ -n "$LUA_TOOL" ] || fail "ardour7-lua not found although Ardour's VST scanner is installed"
command -v sox >/dev/null || fail "sox not found (install the 'sox' package)"
for tool in timeout sha1sum od stat; do
  command -v "$tool" >/dev/null || fail "$tool not found"
done

# ---------------------------------------------------------------- sandbox --
WORK=$(mktemp -d "${TMPDIR:-/tmp}/trv-ardour.XXXXXX") || fail "mktemp failed"
# shellcheck disable=SC2317 # run by the trap
cleanup() { rm -rf "$WORK"; }
trap cleanup EXIT
# Canonical absolute path: the scanner's cache file is named after it.
WORK=$(cd "$WORK" && pwd -P) || fail "cannot enter $WORK"
trap 'exit 1' INT TERM HUP

export HOME="$WORK/home"
export XDG_CONFIG_HOME="$WORK/config"
export XDG_CACHE_HOME="$WORK/cache"
export XDG_DATA_HOME="$WORK/data"
export XDG_STATE_HOME="$WORK/state"
export XDG_RUNTIME_DIR="$WORK/runtime"
export TMPDIR="$WORK/tmp"
VST_DIR="$WORK/vst"
SESSION_DIR="$WORK/session"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME" \
         "$TMPDIR" "$VST_DIR"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export LXVST_PATH="$VST_DIR"
# Headless: Ardour never opens the editor here; make sure nothing reaches a display.
unset DISPLAY WAYLAND_DISPLAY
# The plug-in's options file, written when its last instance closes.
SETTINGS_FILE="$XDG_CONFIG_HOME/TVN/trv"

# ----------------------------------------------------------------- 1. scan --
PLUGIN="$VST_DIR/libtrv.so"
cp "$PLUGIN_SRC" "$PLUGIN" || fail "cannot copy $PLUGIN_SRC"
# Ardour ignores a cache entry that is not strictly newer (in whole seconds)
# than the .so: start the scan in the second after the copy's mtime.
so_mtime=$(stat -c %Y "$PLUGIN")
while [ "$(date +%s)" -le "$so_mtime" ]; do sleep 0.05; done

log "scanning $PLUGIN"
LD_LIBRARY_PATH="$ARDOUR_LIBDIR${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
  timeout -k 5 "$SCAN_TIMEOUT" "$SCANNER" -f -v "$PLUGIN" >"$WORK/scan.log" 2>&1
scan_rc=$?
sed 's/^/  scanner| /' "$WORK/scan.log"
case "$scan_rc" in 124 | 137) fail "the VST scanner did not finish within ${SCAN_TIMEOUT}s" ;; esac
[ "$scan_rc" -eq 0 ] || fail "the VST scanner exited with status $scan_rc (the plug-in crashed it?)"

path_sha1=$(printf '%s' "$PLUGIN" | sha1sum | cut -c1-40)
CACHE="$XDG_CACHE_HOME/ardour7/vst/$path_sha1-x64.v2i"
if [ ! -f "$CACHE" ]; then
  ls -lR "$XDG_CACHE_HOME" >&2 2>/dev/null
  fail "the scanner wrote no cache file $CACHE (entry point missing, returned NULL, or plug-in rejected)"
fi
log "cache file: $(cat "$CACHE")"
[ "$(stat -c %Y "$CACHE")" -gt "$so_mtime" ] ||
  fail "the cache file is not newer than the plug-in; Ardour would ignore it"
grep -q '<VST2Info ' "$CACHE" || fail "the cache file holds no VST2Info record"

# Value of attribute $1 of the VST2Info record (XML entities left as they are).
attr() {
  sed -n "s/.*<VST2Info[^>]*[[:space:]]$1=\"\([^\"]*\)\".*/\1/p" "$CACHE" | head -n 1
}
check_attr() {
  local field=$1 want=$2 got
  got=$(attr "$field")
  [ "$got" = "$want" ] || fail "scanner cache field '$field' is '${got:-<missing>}', expected '$want'"
  log "  $field = $got"
}
check_attr name "$WANT_NAME"
check_attr creator "$WANT_CREATOR"
check_attr id "$WANT_ID"
check_attr n_inputs "$WANT_INPUTS"
check_attr n_outputs "$WANT_OUTPUTS"
check_attr n_midi_inputs "$WANT_MIDI_INPUTS"
check_attr n_midi_outputs "$WANT_MIDI_OUTPUTS"
check_attr can_process_replace 1

# The scanner's instance wrote the settings file on close; remove it so its
# reappearance proves the session's instance ran and was closed.
if [ -f "$SETTINGS_FILE" ]; then
  log "settings file written by the scanner's instance; removing it"
else
  log "note: the scanner's instance wrote no settings file"
fi
rm -f "$SETTINGS_FILE"

# -------------------------------------------------------------- 2. session --
log "running the headless session ($LUA_TOOL)"
# stdbuf: keep the log complete even if the tool dies.
timeout -k 5 "$SESSION_TIMEOUT" stdbuf -oL -eL "$LUA_TOOL" "$LUA_SCRIPT" \
  "$SESSION_DIR" LXVST "$WANT_ID" "$WANT_NAME" >"$WORK/session.log" 2>&1
session_rc=$?
grep -v 'queue call-slot\|direct dispatch of call slot' "$WORK/session.log" | sed 's/^/  session| /'
case "$session_rc" in 124 | 137) fail "the Lua session did not finish within ${SESSION_TIMEOUT}s" ;; esac
[ "$session_rc" -le 128 ] ||
  fail "the Lua session died from signal $((session_rc - 128)) after '$(grep '^TRV-LUA ' "$WORK/session.log" | tail -n 1)' (crash in Ardour or the plug-in)"
grep -q '^TRV-LUA FAIL' "$WORK/session.log" &&
  fail "the Lua session failed: $(sed -n 's/^TRV-LUA FAIL //p' "$WORK/session.log" | head -n 1)"
grep -q '^TRV-LUA DONE' "$WORK/session.log" ||
  fail "the Lua session stopped early (exit status $session_rc); see its log above"
[ "$session_rc" -eq 0 ] || fail "the Lua session exited with status $session_rc"

# ------------------------------------------------------------- 3. checks --
read -r range_start range_end < <(sed -n 's/^TRV-LUA RANGE //p' "$WORK/session.log" | head -n 1)
[ -n "${range_end:-}" ] || fail "the session reported no recorded range"
range_len=$((range_end - range_start))
# Path of the mono file for label $1 (live, active, bypassed), channel $2.
file_of() {
  sed -n "s/^TRV-LUA FILE $1 $2 //p" "$WORK/session.log" | head -n 1
}

# Count NaN and Inf samples in a float WAV (sox itself turns them into full
# scale): find the data chunk in the RIFF header, then count the 32-bit words
# whose exponent bits are all set, with od printing them in hex.
count_non_finite() {
  local f=$1 off=12 len
  local -a b
  read -r -a b < <(od -An -v -tu1 -N 4096 "$f" | tr -s ' \n' '  ')
  while [ $((off + 8)) -le "${#b[@]}" ]; do
    len=$((b[off + 4] | b[off + 5] << 8 | b[off + 6] << 16 | b[off + 7] << 24))
    if [ "${b[*]:off:4}" = "100 97 116 97" ]; then # "data"
      od -An -v -w32 -tx4 -j $((off + 8)) -N "$len" "$f" | grep -Eo '(^| )[7f]f[89a-f]' | wc -l
      return 0
    fi
    off=$((off + 8 + len + (len & 1)))
  done
  echo "no-data-chunk"
}

# Value of the first line of sox report $1 ("sox --i", "sox ... -n stat")
# whose label matches the glob $2, e.g. field "$report" 'RMS*amplitude'.
field() {
  local line
  while IFS= read -r line; do
    # shellcheck disable=SC2254 # $2 is a pattern on purpose
    case "$line" in
      $2*:*)
        line=${line#*:}
        echo "${line#"${line%%[! ]*}"}"
        return 0
        ;;
    esac
  done <<<"$1"
}

# Format, finiteness and level of one mono file; prints its sample count.
check_file() {
  local what=$1 f=$2 info ch rate enc n bad stat rms peak trough verdict
  [ -n "$f" ] || fail "$what: the session reported no file"
  [ -s "$f" ] || fail "$what: file missing or empty: $f"
  info=$(sox --i "$f" 2>/dev/null)
  ch=$(field "$info" 'Channels')
  rate=$(field "$info" 'Sample Rate')
  enc=$(field "$info" 'Sample Encoding')
  n=$(field "$info" 'Duration')
  n=${n#*= }
  n=${n%% *}
  [ "$ch" = 1 ] || fail "$what: ${ch:-?} channels, expected 1"
  [ "$rate" = 48000 ] || fail "$what: rate ${rate:-?}, expected 48000"
  [ "$enc" = "32-bit Floating Point PCM" ] || fail "$what: encoding '$enc', expected 32-bit float"
  bad=$(count_non_finite "$f")
  [ "$bad" = 0 ] || fail "$what contains non-finite samples (NaN/Inf count: $bad)"
  stat=$(sox "$f" -n stat 2>&1)
  rms=$(field "$stat" 'RMS*amplitude')
  peak=$(field "$stat" 'Maximum amplitude')
  trough=$(field "$stat" 'Minimum amplitude')
  if [ -z "$rms" ] || [ -z "$peak" ] || [ -z "$trough" ]; then
    fail "$what: sox could not measure $f"
  fi
  log "  $what: $n samples, RMS $rms, max $peak, min $trough" >&2
  verdict=$(awk -v rms="$rms" -v peak="$peak" -v trough="$trough" \
                -v lo="$RMS_MIN" -v hi="$RMS_MAX" -v pk="$PEAK_MAX" 'BEGIN {
    if (rms < lo) print "is too quiet or silent: RMS " rms " < " lo
    else if (rms > hi) print "is too loud: RMS " rms " > " hi
    else if (peak > pk || trough < -pk) print "peaks at " peak " / " trough " (beyond +-" pk ")"
  }')
  [ -z "$verdict" ] || fail "$what $verdict"
  echo "$n"
}

log "recorded range: $range_start..$range_end ($range_len samples)"
for c in 0 1; do
  live=$(file_of live $c)
  active=$(file_of active $c)
  bypassed=$(file_of bypassed $c)
  # What the plug-in put out in the audio thread while recording.
  n=$(check_file "live output, channel $c" "$live") || exit 1
  [ "$n" -ge 96000 ] || fail "live output, channel $c: only $n samples recorded"
  # The recorded range rendered with the plug-in active, then deactivated.
  n=$(check_file "active render, channel $c" "$active") || exit 1
  [ "$n" = "$range_len" ] || fail "active render, channel $c: $n samples, expected $range_len"
  n=$(check_file "bypassed render, channel $c" "$bypassed") || exit 1
  [ "$n" = "$range_len" ] || fail "bypassed render, channel $c: $n samples, expected $range_len"
  # Sample by sample difference (-v per input turns off sox's 1/n mix gain).
  sox -m -v 1 "$active" -v -1 "$bypassed" "$WORK/diff$c.wav" 2>/dev/null ||
    fail "sox could not subtract the renders of channel $c"
  stat=$(sox "$WORK/diff$c.wav" -n stat 2>&1)
  dmax=$(field "$stat" 'Maximum amplitude')
  dmin=$(field "$stat" 'Minimum amplitude')
  log "  active - bypassed, channel $c: max $dmax, min $dmin (tolerance $DIFF_MAX)"
  awk -v a="$dmax" -v b="$dmin" -v t="$DIFF_MAX" 'BEGIN { exit !(a != "" && b != "" && a <= t && b >= -t) }' ||
    fail "channel $c: the active render differs from the bypassed one (max $dmax, min $dmin): the plug-in does not pass its input through"
done

# The session's plug-in instance saved its options when it was closed.
[ -f "$SETTINGS_FILE" ] ||
  fail "settings file $SETTINGS_FILE was not written: the plug-in instance in the session was never closed (or never created)"
log "settings file rewritten on close: $SETTINGS_FILE ($(stat -c %s "$SETTINGS_FILE") bytes)"

log "PASS"
exit 0
