#!/usr/bin/env bash
# Measures the zephyrix program live on a private sound server
# (scripts/sound_server.sh) and a private X server:
#   - glitches per minute (lost or repeated audio, dropouts, steps) of zephyrix
#     bypassed, against the server's own module-loopback carrying the same
#     signal with the same nominal latency (250 ms), in alternating rounds;
#   - the latency from the microphone to the speaker and its spread: the input
#     (feed.monitor) and the output (spk.monitor) go through two identical
#     loopbacks into the left and right channel of one probe sink and are
#     recorded together, so the loopbacks' own delay cancels; a calibration with
#     both loopbacks on the input checks that it does;
#   - processor time of the zephyrix process while it streams with echo,
#     flanger and slicer on (/proc/PID/stat).
# Targets: no more glitches than the loopback; latency 250 ms + at most 25 ms,
# spread at most 2 ms; at most 0.8% of one core.
#
#   bench/live/measure.sh [--build DIR] [--driver NAME] [ROUNDS [SECONDS]]
# --driver picks SDL's audio backend (pulseaudio, pipewire); without it SDL
# chooses as on a desktop. ROUNDS (default 5; 0 measures only the processor time) of SECONDS (default 60)
# each for zephyrix and for the loopback. Without --build, the release preset is
# configured and built.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

build=""
driver=""
while [ $# -ge 2 ]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --driver) driver=$2; shift 2 ;;
    *) break ;;
  esac
done
rounds=${1:-5}
seconds=${2:-60}
case "$rounds$seconds" in
  '' | *[!0-9]*) echo "usage: $0 [--build DIR] [--driver NAME] [ROUNDS [SECONDS]]" >&2; exit 2 ;;
esac
scripts/deps.sh test  # the sound server, its pactl and parecord, Xvfb and xdotool
if [ -z "$build" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release -j 2 --target zephyrix live_signal >/dev/null
  build=$root/build/release
fi
app=$build/src/app/zephyrix
signal=$build/bench/live/live_signal

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
recorders=()
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
  for pid in "${recorders[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  if [ -n "${ZEPHYRIX_SOUND_DIR:-}" ]; then scripts/sound_server.sh stop >/dev/null || true; fi
  if [ -n "${LIVE_KEEP:-}" ]; then echo "recordings kept in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

eval "$(scripts/sound_server.sh start --owner $$)"
. bench/x_display.sh
start_x_display
export SDL_VIDEODRIVER=x11 ZEPHYRIX_SCALE=2
if [ -n "$driver" ]; then export SDL_AUDIODRIVER=$driver; else unset SDL_AUDIODRIVER; fi

"$signal" make "$work/signal.wav" "$seconds"
pactl load-module module-null-sink sink_name=probe channels=2 \
  channel_map=front-left,front-right >/dev/null

probe_loopback() {  # SOURCE CHANNEL; prints the module's index
  pactl load-module module-loopback source="$1" sink=probe channels=1 channel_map="$2" \
    latency_msec=250 source_dont_move=true sink_dont_move=true
}

# Records SOURCE with CHANNELS into FILE in the background.
record() {
  parecord --device="$1" --rate=48000 --channels="$2" --format=s16le --file-format=wav "$3" &
  recorders+=("$!")
}
stop_recorders() {
  sleep 1  # the end of the sound, through the stream's latency
  for pid in "${recorders[@]}"; do kill -INT "$pid" 2>/dev/null || true; done
  for pid in "${recorders[@]}"; do wait "$pid" 2>/dev/null || true; done
  recorders=()
}

# Plays the signal while recording the speaker, and both the input and the
# speaker through the probe loopbacks; NAME.wav and NAME-probe.wav.
play_and_record() {
  local name=$1 left right
  left=$(probe_loopback feed.monitor front-left)
  right=$(probe_loopback spk.monitor front-right)
  record spk.monitor 1 "$work/$name.wav"
  record probe.monitor 2 "$work/$name-probe.wav"
  sleep 0.5
  paplay --device=feed "$work/signal.wav"
  stop_recorders
  pactl unload-module "$right"
  pactl unload-module "$left"
}

ms() { date +%s%3N; }
launch() {
  (cd "$work" && exec "$app" >>"$work/zephyrix.log" 2>&1) &
  app_pid=$!
  local start mine
  start=$(ms)
  until xdotool search --onlyvisible --name '^Zephyrix 1.0$' >/dev/null 2>&1; do
    sleep 0.05
    if [ $(($(ms) - start)) -gt 20000 ]; then echo "no window" >&2; exit 1; fi
  done
  eval "$(xdotool search --onlyvisible --name '^Zephyrix 1.0$' getwindowgeometry --shell)"
  # The window shows before start-up opens the devices; clicks made until then
  # are lost.
  mine="application.name = \"Zephyrix\""
  until grep -q "$mine" <<<"$(pactl list source-outputs)" &&
    grep -q "$mine" <<<"$(pactl list sink-inputs)"; do
    sleep 0.05
    if [ $(($(ms) - start)) -gt 20000 ]; then echo "no sound streams" >&2; exit 1; fi
  done
}
click() { xdotool mousemove --sync $((X + $1 * 2)) $((Y + ($2 - 26) * 2)) click 1; sleep 0.15; }
running() {  # PID: alive and not yet a zombie
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  [[ $state != Z* ]]
}
# Clicks Power and notes how long the program took to end; kills it after 10 s.
power() {
  local pressed
  xdotool mousemove --sync $((X + 224 * 2)) $((Y + (256 - 26) * 2)) click 1
  pressed=$(ms)  # the click has reached the X server
  while running "$app_pid" && [ $(($(ms) - pressed)) -lt 10000 ]; do sleep 0.02; done
  if running "$app_pid"; then
    echo "zephyrix did not end within 10 s of Power; killed" >&2
    kill -KILL "$app_pid"
    echo "hung" >>"$work/exits"
  else
    echo $(($(ms) - pressed)) >>"$work/exits"
  fi
  wait "$app_pid" || true
  app_pid=""
}

# The analyses leave out the first 0.4 s of each recording: the signal starts
# 0.5 s in, and a loopback just loaded puts a burst of noise there.
faults() { "$signal" faults "$1" 0.4; }
latency() { "$signal" latency "$1" 0.4 || true; }
# "FAULTS MARKERS" of a recording; a marker a second, so the markers count the
# seconds of signal that came through (a round that carried nothing counts none).
glitches() { faults "$1" | sed -n 's/.*markers=\([0-9]*\) faults=\([0-9]*\).*/\2 \1/p'; }
tally() {  # FILE RECORDING: adds the recording's faults and markers to FILE
  glitches "$2" >>"$1"
}

echo "== calibration: both probe loopbacks on the input =="
left=$(probe_loopback feed.monitor front-left)
right=$(probe_loopback feed.monitor front-right)
record probe.monitor 2 "$work/calibration.wav"
sleep 0.5
paplay --device=feed "$work/signal.wav"
stop_recorders
pactl unload-module "$right"
pactl unload-module "$left"
latency "$work/calibration.wav"

: >"$work/latency"
: >"$work/z_glitches"
: >"$work/l_glitches"
for round in $(seq "$rounds"); do
  echo "== round $round of $rounds: zephyrix bypassed, ${seconds} s =="
  launch
  click 224 232  # Bypass
  play_and_record "zephyrix$round"
  power
  faults "$work/zephyrix$round.wav"
  latency "$work/zephyrix$round-probe.wav" | tee -a "$work/latency"
  tally "$work/z_glitches" "$work/zephyrix$round.wav"

  echo "== round $round of $rounds: module-loopback, ${seconds} s =="
  loop=$(pactl load-module module-loopback source=mic sink=spk channels=1 channel_map=mono \
    latency_msec=250 source_dont_move=true sink_dont_move=true)
  play_and_record "loopback$round"
  pactl unload-module "$loop"
  faults "$work/loopback$round.wav"
  latency "$work/loopback$round-probe.wav"
  tally "$work/l_glitches" "$work/loopback$round.wav"
done

echo "== processor time: zephyrix with echo, flanger and slicer, ${seconds} s =="
launch
click 45 155   # Echo
click 86 155   # Flanger
click 127 155  # Slicer
paplay --device=feed "$work/signal.wav" &
player=$!
ticks=$(getconf CLK_TCK)
# Processor ticks (user + system) of the process, then of each of its threads.
cpu() {
  local stat
  for stat in "/proc/$app_pid/stat" "/proc/$app_pid"/task/*/stat; do
    awk '{name = $2; gsub(/[()]/, "", name); sub(/.*\) /, ""); print name, $12 + $13}' "$stat"
  done
}
cpu >"$work/cpu0"
t0=$(ms)
sleep "$seconds"
cpu >"$work/cpu1"
t1=$(ms)
wait "$player" || true
power

echo "== summary =="
# Glitches per minute of signal that came through.
per_minute() {  # NAME FILE
  awk -v name="$1" '{ f += $1; m += $2 }
    END { printf "%s %.2f (%d in %.1f min of signal)", name, m ? 60 * f / m : 0, f, m / 60 }' "$2"
}
if [ "$rounds" -gt 0 ]; then
  echo "glitches per minute: $(per_minute zephyrix "$work/z_glitches"), $(per_minute module-loopback "$work/l_glitches")"
fi
# Spread: within each round (the delay staying put while it runs) and between
# rounds (where each start lands).
awk -F'[ =]' '$2 > 0 { n += $2; if (!seen || $6 < lo) lo = $6; if (!seen || $8 > hi) hi = $8;
  med = med " " $4; within = within " " sprintf("%.2f", $8 - $6); seen = 1 }
  END { if (seen) printf "latency microphone to speaker: medians%s ms; spread within each round%s ms; min %.2f, max %.2f over all rounds (%d markers)\n",
    med, within, lo, hi, n; else print "latency: no markers paired" }' "$work/latency"
paste -d' ' "$work/cpu0" "$work/cpu1" | awk -v hz="$ticks" -v w=$((t1 - t0)) '
  { share = 100 * ($4 - $2) / hz / (w / 1000) }
  NR == 1 { printf "processor time while streaming: %.2f%% of one core; by thread:", share; next }
  { printf " %s %.2f%%", $1, share } END { print "" }'
echo "Power click to exit: $(paste -sd' ' "$work/exits") ms"
