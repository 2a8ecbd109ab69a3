#!/usr/bin/env bash
# A long run of the zephyrix program on a private sound server
# (scripts/sound_server.sh) and a private X server, worked by keys: a key
# pressed at random every second (effects, presets, delay, downsampler, knob,
# mute, bypass, save) for MINUTES, while the server is restarted every RESTART
# minutes and stopped for 3 s every STALL minutes (0: never). Every CHECK
# minutes, and 2 s after each restart and each stall (past the window in which
# the unit reconnects), the unit is bypassed and the marker signal plays
# through it for 20 s, recorded from the speaker (every marker once,
# glitches), then through the server's own module-loopback for comparison
# while the unit is muted. After each restart, the time from the server
# answering to the unit's "sound is back" line. Resident memory and the unit's
# open descriptors are read every 10 s while keys are pressed; at the end
# Power, its exit code and how long the exit took.
#
#   bench/live/soak.sh [--build DIR] [--restart R] [--stall S] [MINUTES [CHECK]]
# MINUTES default 30, CHECK default 5, R default 10, S default 7. The unit runs
# with its own choice of backend (ZEPHYRIX_AUDIO and --options given in
# ZEPHYRIX_OPTIONS apply).
set -euo pipefail
cd "$(dirname "$0")/../.."

usage() {
  echo "usage: $0 [--build DIR] [--restart MINUTES] [--stall MINUTES] [MINUTES [CHECK]]" >&2
  exit 2
}
build=""
restart=10
stall=7
while [ $# -ge 2 ]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --restart) restart=$2; shift 2 ;;
    --stall) stall=$2; shift 2 ;;
    *) break ;;
  esac
done
minutes=${1:-30}
check=${2:-5}
case "$minutes$check$restart$stall" in
  '' | *[!0-9]*) usage ;;
esac
[ "$check" -gt 0 ] || usage
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

# "SECONDS RESIDENT-KB DESCRIPTORS" of the unit, seconds into the run.
usage_now() {
  local fds=("/proc/$app_pid/fd"/*)
  echo "$((($(ms) - began) / 1000)) $(awk '/^VmRSS:/ { print $2 }' "/proc/$app_pid/status")" \
    "${#fds[@]}"
}
: >"$work/usage"
: >"$work/checks"
: >"$work/backs"

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
# with the unit muted; one line of faults for each, ending with WHY.
check_now() {  # N [WHY]
  key e b  # an effect switch ends Mute and Bypass; then Bypass on
  record_signal "$work/unit$1.wav"
  key m  # Mute: the loopback alone on the speaker
  local loop
  loop=$(pactl load-module module-loopback source=mic sink=spk channels=1 channel_map=mono \
    latency_msec=250 source_dont_move=true sink_dont_move=true)
  record_signal "$work/loop$1.wav"
  pactl unload-module "$loop"
  local who
  for who in unit loop; do
    echo "check $1: ${who/%loop/loopback} $("$signal" faults "$work/$who$1.wav" 0.4 | head -n 1)" \
      "(${2:-on schedule})" | tee -a "$work/checks"
  done
}

# Restarts the server and notes how long after it answers the unit says its
# sound is back ("never" if not within 10 s).
restart_now() {
  local lines answered
  lines=$(grep -c 'sound is back' "$work/zephyrix.log" || true)
  scripts/sound_server.sh restart >/dev/null
  answered=$(ms)
  until [ "$(grep -c 'sound is back' "$work/zephyrix.log" || true)" -gt "$lines" ]; do
    if [ $(($(ms) - answered)) -gt 10000 ]; then echo never >>"$work/backs"; return; fi
    sleep 0.01
  done
  echo $(($(ms) - answered)) >>"$work/backs"
}
# MINUTES as the next time due after NOW, or never (0 minutes).
due() {  # NOW MINUTES
  if [ "$2" -gt 0 ]; then echo $(($1 + $2 * 60000)); else echo 9999999999999; fi
}

echo "== ${minutes} min of keys, a check every ${check} min, a restart every ${restart} min," \
  "a stall every ${stall} min =="
n=0
check_now "$n" "at the start"
began=$(ms)
next_check=$(due "$began" "$check")
next_restart=$(due "$began" "$restart")
next_stall=$(due "$began" "$stall")
next_sample=$began
while [ $(($(ms) - began)) -lt $((minutes * 60000)) ]; do
  key "${keys[RANDOM % ${#keys[@]}]}"
  now=$(ms)
  if [ "$now" -ge "$next_sample" ]; then
    usage_now >>"$work/usage"
    next_sample=$((now + 10000))
  fi
  what=""
  if [ "$now" -ge "$next_restart" ]; then
    restart_now
    what="after restart $(wc -l <"$work/backs"), back in $(tail -n 1 "$work/backs") ms"
    next_restart=$(due "$next_restart" "$restart")
  elif [ "$now" -ge "$next_stall" ]; then
    scripts/sound_server.sh stall 3
    what="after stall"
    next_stall=$(due "$next_stall" "$stall")
  elif [ "$now" -ge "$next_check" ]; then
    what="on schedule"
    next_check=$(due "$next_check" "$check")
  fi
  if [ -n "$what" ]; then
    [ "$what" = "on schedule" ] || sleep 2  # the window in which the unit reconnects
    n=$((n + 1))
    check_now "$n" "$what"
  fi
  sleep 1
done
n=$((n + 1))
check_now "$n" "at the end"
usage_now >>"$work/usage"

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
grep -v 'faults=0 ' "$work/checks" | sed 's/^/with faults: /' || true
restarts=$(wc -l <"$work/backs")
echo "restarts: $restarts, the unit's sound back after: $(paste -sd' ' "$work/backs") ms"
echo "the unit's lines: $(grep -c 'went away' "$work/zephyrix.log" || true) went away," \
  "$(grep -c 'sound is back' "$work/zephyrix.log" || true) sound is back"
# First, after the first minute, half way, last and highest of each: flat
# when the last is no more than 2% (memory) or 0 (descriptors) over the first
# sample after the first minute. Memory that grew more but by no more than 1%
# over the second half levelled off: the first reconnections cost the unit
# once (the server library's pools, an allocator arena for a thread), a leak
# goes on growing.
awk '{ t[NR] = $1; mem[NR] = $2; fd[NR] = $3; if ($2 > mh) mh = $2; if ($3 > dh) dh = $3 }
  END { for (i = 1; i <= NR && t[i] < 60; ++i) {}
        one = i <= NR ? i : NR
        for (i = 1; i <= NR && t[i] < t[NR] / 2; ++i) {}
        half = i <= NR ? i : NR
        m = mem[NR]; m1 = mem[one]; d = fd[NR]; d1 = fd[one]
        verdict = m <= m1 * 1.02 ? "flat" : m <= mem[half] * 1.01 ? "levelled off" : "grows"
        printf "resident memory: %d kB at start, %d after the first minute, %d half way, " \
          "%d at the end, highest %d: %s\n", mem[1], m1, mem[half], m, mh, verdict
        printf "open descriptors: %d at start, %d after the first minute, %d at the end, " \
          "highest %d: %s (%d samples)\n", fd[1], d1, d, dh, d <= d1 ? "flat" : "grows", NR }' \
  "$work/usage"
echo "exit code $code, ${exited} ms after Power"
