#!/usr/bin/env bash
# The MIDI round trip of the zephyrix program on a private sound server: the
# probe (midi_latency.cpp) is linked to the unit's MIDI input by name
# (--midi-from) and from its lights, presses Bypass PRESSES times (a momentary
# footswitch: 127, then 0) and times each press until its light changes, at
# the server's own cycle and at each forced CYCLE (samples).
#
#   bench/live/midi_latency.sh [--build DIR] [PRESSES [CYCLE...]]
# PRESSES default 50, CYCLEs default 256 128. One line each:
#   cycle=default presses=50 lost=0 cycle=21.3 median=... p95=... max=... (ms)
# A round trip is two passes through the graph and one through the window
# thread; a press reaches the control about one cycle before its light is back.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=""
if [ "${1:-}" = --build ]; then build=$(cd "$2" && pwd); shift 2; fi
presses=${1:-50}
shift || true
cycles=("$@")
[ ${#cycles[@]} -gt 0 ] || cycles=(256 128)
case "$presses${cycles[*]}" in
  *[!0-9\ ]*) echo "usage: $0 [--build DIR] [PRESSES [CYCLE...]]" >&2; exit 2 ;;
esac
scripts/deps.sh test
. bench/live/programs.sh
live_programs "$build"
probe=${build:-$PWD/build/release}/bench/live/midi_latency
[ -n "$build" ] || cmake --build --preset release -j 2 --target midi_latency >/dev/null

live_session
ms() { date +%s%3N; }
(cd "$work" && exec "$app" --midi-from zephyrix-latency-probe-out >>"$work/zephyrix.log" 2>&1) &
app_pid=$!
start=$(ms)
until "$app" --status 2>/dev/null | grep -q 'sound=yes'; do
  sleep 0.1
  if [ $(($(ms) - start)) -gt 20000 ]; then echo "the unit did not start" >&2; exit 1; fi
done

# One run of the probe at the cycle now in force: linked from the lights as
# soon as its input is there.
run_probe() {  # LABEL
  "$probe" "$presses" 86 >"$work/probe.out" &
  local pid=$! tries=0
  recorders=("$pid")
  until pw-link zephyrix_feedback:feedback zephyrix-latency-probe-in:input 2>/dev/null; do
    sleep 0.05
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || { echo "the probe could not be linked" >&2; exit 1; }
  done
  wait "$pid"
  echo "cycle=$1 $(cat "$work/probe.out")"
}

run_probe default
for cycle in "${cycles[@]}"; do
  pw-metadata -n settings 0 clock.force-quantum "$cycle" >/dev/null
  sleep 0.5
  run_probe "$cycle"
done
pw-metadata -n settings 0 clock.force-quantum 0 >/dev/null
"$app" --send ctrl+q >/dev/null || true
wait "$app_pid" || true
app_pid=""
