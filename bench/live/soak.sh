#!/usr/bin/env bash
# A long run of the zephyrix program on a private sound server
# (scripts/sound_server.sh) and a private X server, worked by keys: a key
# pressed at random every second (effects, presets, delay, downsampler, knob,
# mute, bypass, save) for MINUTES. Every CHECK minutes the unit is bypassed and
# the marker signal plays through it for 20 s, recorded from the speaker
# (every marker once, glitches), then through the server's own module-loopback
# for comparison while the unit is muted. Resident memory is read every 10 s;
# at the end Power, its exit code and how long the exit took.
#
#   bench/live/soak.sh [--build DIR] [MINUTES [CHECK]]
# MINUTES default 30, CHECK default 5. The unit runs with its own choice of
# backend (ZEPHYRIX_AUDIO and --options given in ZEPHYRIX_OPTIONS apply).
set -euo pipefail
cd "$(dirname "$0")/../.."

build=""
if [ "${1:-}" = --build ]; then
  build=$(cd "$2" && pwd)
  shift 2
fi
minutes=${1:-30}
check=${2:-5}
case "$minutes$check" in
  '' | *[!0-9]*) echo "usage: $0 [--build DIR] [MINUTES [CHECK]]" >&2; exit 2 ;;
esac
scripts/deps.sh test
. bench/live/programs.sh
live_programs "$build"
check_seconds=20

live_session
"$signal" make "$work/signal.wav" "$check_seconds"

ms() { date +%s%3N; }
# shellcheck disable=SC2086  # ZEPHYRIX_OPTIONS are words
(cd "$work" && exec "$app" ${ZEPHYRIX_OPTIONS:-} >>"$work/zephyrix.log" 2>&1) &
app_pid=$!
start=$(ms)
until window=$(xdotool search --onlyvisible --name '^Zephyrix [0-9]+\.[0-9]+$' 2>/dev/null | head -n 1) &&
  [ -n "$window" ] && grep -q 'application.name = "Zephyrix"' <<<"$(pactl list sink-inputs)"; do
  sleep 0.1
  if [ $(($(ms) - start)) -gt 20000 ]; then echo "the unit did not start" >&2; exit 1; fi
done
key() { xdotool key --window "$window" "$@"; }

# Every key of the panel but About (a box) and Power.
keys=(1 2 3 4 5 6 7 8 9 0 e f s r d Right Left shift+Right shift+Left Up Down shift+Up
  shift+Down m b ctrl+s)

rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$app_pid/status"; }
: >"$work/rss"
: >"$work/checks"

# Plays the signal into the microphone while recording the speaker into FILE.
record_signal() {  # FILE
  parecord --device=spk.monitor --rate=48000 --channels=1 --format=s16le --file-format=wav "$1" &
  recorders=("$!")
  sleep 0.5
  paplay --device=feed "$work/signal.wav"
  sleep 1
  kill -INT "${recorders[0]}"
  wait "${recorders[0]}" || true
  recorders=()
}

# The signal through the unit bypassed, then through the server's loopback
# with the unit muted; one line of faults for each.
check_now() {  # N
  key e b  # an effect switch ends Mute and Bypass; then Bypass on
  record_signal "$work/unit$1.wav"
  key m  # Mute: the loopback alone on the speaker
  local loop
  loop=$(pactl load-module module-loopback source=mic sink=spk channels=1 channel_map=mono \
    latency_msec=250 source_dont_move=true sink_dont_move=true)
  record_signal "$work/loop$1.wav"
  pactl unload-module "$loop"
  echo "check $1: unit $("$signal" faults "$work/unit$1.wav" 0.4 | head -n 1)" | tee -a "$work/checks"
  echo "check $1: loopback $("$signal" faults "$work/loop$1.wav" 0.4 | head -n 1)" | tee -a "$work/checks"
}

echo "== ${minutes} min of keys, a check every ${check} min =="
n=0
check_now "$n"
began=$(ms)
next_check=$((began + check * 60000))
while [ $(($(ms) - began)) -lt $((minutes * 60000)) ]; do
  key "${keys[RANDOM % ${#keys[@]}]}"
  if [ $((($(ms) - began) / 10000)) -gt "$(wc -l <"$work/rss")" ]; then rss >>"$work/rss"; fi
  if [ "$(ms)" -ge "$next_check" ]; then
    n=$((n + 1))
    check_now "$n"
    next_check=$((next_check + check * 60000))
  fi
  sleep 1
done
n=$((n + 1))
check_now "$n"
rss >>"$work/rss"

key ctrl+q
pressed=$(ms)
code=0
wait "$app_pid" || code=$?
exited=$(($(ms) - pressed))
app_pid=""

echo "== summary =="
awk '{ split($0, a, "faults="); f = a[2] + 0; split($0, b, "markers="); m = b[2] + 0
       who = $3; faults[who] += f; markers[who] += m }
  END { for (w in faults) printf "%s: %d faults in %d markers (of %d s of signal a check)\n",
          w, faults[w], markers[w], '"$check_seconds"' }' "$work/checks"
awk 'NR == 1 { first = $1 } NR > 6 { n++; if (!lo || $1 < lo) lo = $1; if ($1 > hi) hi = $1 }
  END { printf "resident memory: %d kB at start; ", first
        if (n) printf "%d ... %d kB over the %d samples after the first minute\n", lo, hi, n
        else print "no sample after the first minute" }' "$work/rss"
echo "exit code $code, ${exited} ms after Power"
