#!/usr/bin/env bash
# Measures the zephyrix program live on a private sound server
# (scripts/sound_server.sh) and a private X server, side by side with the
# server's own module-loopback carrying the same signal with the same nominal
# latency (250 ms), in alternating rounds of:
#   native      zephyrix on PipeWire's own library (ZEPHYRIX_AUDIO=native)
#   sdl         zephyrix through SDL's PipeWire backend (ZEPHYRIX_AUDIO=sdl)
#   microphone  zephyrix --as-microphone, recorded from its own source node
#   loopback    module-loopback from the microphone to the speaker
# Each round of each has two parts:
#   - latency: a short play of the signal while the input (feed.monitor) and
#     the output (spk.monitor, or the microphone node) are linked straight into
#     the left and right channel of one probe sink and recorded together (a
#     calibration with both on the input shows the probe adds no difference);
#   - SECONDS of the signal, bypassed, with only the output recorded: glitches
#     (lost or repeated audio, dropouts, steps) and processor time of the
#     client (the zephyrix process) and of every server process (pipewire,
#     pipewire-pulse, wireplumber), from /proc.
# Whole-system processor time is given as a ratio to the loopback's, which is
# the server's alone. Targets for the native backend: no glitch; a latency no
# greater than the loopback's + 1 ms in every round, the same (within 1 ms) at
# every start; whole-system processor time at most 1.5x the loopback's; the
# client at most 0.5% of a core; Power to exit under 2.5 s.
#
#   bench/live/measure.sh [--build DIR] [--only LIST] [ROUNDS [SECONDS]]
# ROUNDS default 5, SECONDS default 60. --only takes a comma list of the
# contenders above (the loopback always runs). Without --build, the release
# preset is configured and built. LIVE_KEEP=1 keeps the recordings.
set -euo pipefail
cd "$(dirname "$0")/../.."

usage() {
  echo "usage: $0 [--build DIR] [--only native,sdl,microphone] [ROUNDS [SECONDS]]" >&2
  exit 2
}
build=""
only="native,sdl,microphone"
while [ $# -ge 2 ]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --only) only=$2; shift 2 ;;
    *) break ;;
  esac
done
rounds=${1:-5}
seconds=${2:-60}
case "$rounds$seconds" in
  '' | *[!0-9]*) usage ;;
esac
contenders=()
for c in ${only//,/ }; do
  case "$c" in native | sdl | microphone) contenders+=("$c") ;; *) usage ;; esac
done
contenders+=(loopback)
scripts/deps.sh test
. bench/live/programs.sh
live_programs "$build"
probe_seconds=10

live_session
unset ZEPHYRIX_AUDIO

"$signal" make "$work/signal.wav" "$seconds"
"$signal" make "$work/probe.wav" "$probe_seconds"
pactl load-module module-null-sink sink_name=probe channels=2 \
  channel_map=front-left,front-right >/dev/null

# The probe: ports linked straight into the probe sink's two channels, no
# buffer of their own between, so what it records is the two ports' sound in
# the same cycles.
link_probe() {  # OUTPUT-PORT CHANNEL
  pw-link "$1" "probe:playback_$2"
}
unlink_probe() {  # OUTPUT-PORT CHANNEL
  pw-link -d "$1" "probe:playback_$2" 2>/dev/null || true
}

# Records SOURCE with CHANNELS into FILE in the background. The recorder asks
# for the server's own cycle (1024 frames), so it never makes the server change
# its cycle part-way through a round (recorders ask for 2 s by default).
record() {
  parecord --device="$1" --rate=48000 --channels="$2" --format=s16le --file-format=wav \
    --latency=$((1024 * 2 * $2)) "$3" &
  recorders+=("$!")
}
stop_recorders() {
  sleep 1  # the end of the sound, through the stream's latency
  for pid in "${recorders[@]}"; do kill -INT "$pid" 2>/dev/null || true; done
  for pid in "${recorders[@]}"; do wait "$pid" 2>/dev/null || true; done
  recorders=()
}

# The latency part: OUTPUT (a source) against the input through the probe.
probe_latency() {  # NAME OUTPUT
  local port=${2%.monitor}
  if [ "$port" != "$2" ]; then port=$port:monitor_MONO; else port=$port:capture_MONO; fi
  link_probe feed:monitor_MONO FL
  link_probe "$port" FR
  record probe.monitor 2 "$work/$1-probe.wav"
  sleep 0.5
  paplay --device=feed "$work/probe.wav"
  stop_recorders
  unlink_probe "$port" FR
  unlink_probe feed:monitor_MONO FL
}

# Processor ticks (user + system) of a process: "NAME TICKS", and of each of
# its threads with --threads.
ticks_of() {  # PID [--threads]
  local stat
  for stat in "/proc/$1/stat" ${2:+"/proc/$1"/task/*/stat}; do
    awk '{name = $2; gsub(/[()]/, "", name); sub(/.*\) /, ""); print name, $12 + $13}' "$stat"
  done
}
server_pids() {
  awk '$3 ~ /^(pipewire|pipewire-pulse|wireplumber)$/ { print $1 }' "$ZEPHYRIX_SOUND_DIR/pids"
}
# "NAME TICKS" of the client (if any) and of every server process.
cpu_sample() {
  local pid
  if [ -n "$app_pid" ]; then ticks_of "$app_pid" | sed 's/^[^ ]*/client/'; fi
  for pid in $(server_pids); do ticks_of "$pid"; done
}

# The glitch and processor-time part: the signal through OUTPUT, recorded.
play_and_measure() {  # NAME OUTPUT
  record "$2" 1 "$work/$1.wav"
  sleep 0.5
  cpu_sample >"$work/$1.cpu0"
  local t0 t1
  t0=$(ms)
  paplay --device=feed "$work/signal.wav"
  t1=$(ms)
  cpu_sample >"$work/$1.cpu1"
  echo $((t1 - t0)) >"$work/$1.wall"
  stop_recorders
}

ms() { date +%s%3N; }
mine() {  # whether the unit's streams, or its node, are on the server
  case "$1" in
    microphone) pactl list short sources | grep -q zephyrix_microphone &&
      grep -q 'application.name = "Zephyrix"' <<<"$(pactl list source-outputs)" ;;
    *) grep -q 'application.name = "Zephyrix"' <<<"$(pactl list source-outputs)" &&
      grep -q 'application.name = "Zephyrix"' <<<"$(pactl list sink-inputs)" ;;
  esac
}
launch() {  # CONTENDER
  local start options=() audio=native
  case "$1" in
    sdl) audio=sdl ;;
    microphone) options=(--as-microphone) ;;
  esac
  (cd "$work" && SDL_AUDIODRIVER=$([ "$audio" = sdl ] && echo pipewire) ZEPHYRIX_AUDIO=$audio \
    exec "$app" "${options[@]}" >>"$work/zephyrix.log" 2>&1) &
  app_pid=$!
  start=$(ms)
  until xdotool search --onlyvisible --name '^Zephyrix [0-9]+\.[0-9]+$' >/dev/null 2>&1; do
    sleep 0.05
    if [ $(($(ms) - start)) -gt 20000 ]; then echo "no window" >&2; exit 1; fi
  done
  eval "$(xdotool search --onlyvisible --name '^Zephyrix [0-9]+\.[0-9]+$' getwindowgeometry --shell)"
  # The window shows before start-up opens the devices; clicks made until then
  # are lost.
  until mine "$1"; do
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

# One round of CONTENDER: latency, then glitches and processor time.
round() {  # CONTENDER ROUND
  local name=$1$2 output=spk.monitor loop=""
  echo "== round $2 of $rounds: $1, ${seconds} s =="
  if [ "$1" = loopback ]; then
    loop=$(pactl load-module module-loopback source=mic sink=spk channels=1 channel_map=mono \
      latency_msec=250 source_dont_move=true sink_dont_move=true)
  else
    launch "$1"
    [ "$1" = microphone ] && output=zephyrix_microphone
    click 224 232  # Bypass
  fi
  probe_latency "$name" "$output"
  play_and_measure "$name" "$output"
  if [ -n "$loop" ]; then pactl unload-module "$loop"; else power; fi
  faults "$work/$name.wav" >"$work/$name.faults"
  head -n 1 "$work/$name.faults"
  latency "$work/$name-probe.wav" | tee "$work/$name.latency"
}

echo "== calibration: the input on both channels of the probe =="
link_probe feed:monitor_MONO FL
link_probe feed:monitor_MONO FR
record probe.monitor 2 "$work/calibration.wav"
sleep 0.5
paplay --device=feed "$work/probe.wav"
stop_recorders
unlink_probe feed:monitor_MONO FR
unlink_probe feed:monitor_MONO FL
latency "$work/calibration.wav"

for r in $(seq "$rounds"); do
  for c in "${contenders[@]}"; do round "$c" "$r"; done
done

echo "== summary (${rounds} rounds of ${seconds} s; processor time in % of one core) =="
hz=$(getconf CLK_TCK)
# Processor share of each process over a measurement: "NAME PERCENT" lines.
shares() {  # NAME
  paste -d' ' "$work/$1.cpu0" "$work/$1.cpu1" |
    awk -v hz="$hz" -v wall="$(cat "$work/$1.wall")" \
      '{ printf "%s %.3f\n", $1, 100 * ($4 - $2) / hz / (wall / 1000) }'
}
for c in "${contenders[@]}"; do
  for r in $(seq "$rounds"); do
    shares "$c$r" | awk -v c="$c" -v r="$r" '{ print c, r, $0 }'
  done
done >"$work/shares"
for c in "${contenders[@]}"; do
  for r in $(seq "$rounds"); do
    f=$(sed -n 's/.*markers=\([0-9]*\) faults=\([0-9]*\).*/\2 \1/p' "$work/$c$r.faults")
    l=$(sed -n 's/.*median=\([0-9.]*\).*/\1/p' "$work/$c$r.latency")
    echo "$c $r ${f:-0 0} ${l:-nan}"
  done
done >"$work/rounds"
awk '
  FILENAME ~ /shares$/ {
    key = $1 " " $2
    if ($3 == "client") client[key] = $4; else server[key] += $4
    next
  }
  {
    c = $1; order[c] = order[c] ? order[c] : ++n; name[order[c]] = c
    faults[c] += $3; markers[c] += $4
    lat[c] = lat[c] sprintf(" %.1f", $5)
    if (!(c in lo) || $5 < lo[c]) lo[c] = $5
    if (!(c in hi) || $5 > hi[c]) hi[c] = $5
    key = $1 " " $2; rounds[c]++
  }
  END {
    for (key in server) {
      split(key, k, " "); s[k[1]] += server[key]; cl[k[1]] += client[key]; nr[k[1]]++
    }
    base = s["loopback"] / nr["loopback"]
    for (i = 1; i <= n; i++) {
      c = name[i]
      rate = markers[c] ? 60 * faults[c] / markers[c] : 0
      printf "%-10s glitches/min %.2f (%d in %.1f min)  latency ms:%s (spread %.2f)", c, rate,
        faults[c], markers[c] / 60, lat[c], hi[c] - lo[c]
      cpuc = cl[c] / nr[c]; cpus = s[c] / nr[c]
      ratio = base > 0 ? (cpuc + cpus) / base : 0
      printf "  client %.2f%%, server %.2f%%, whole %.2fx the loopback\n", cpuc, cpus, ratio
    }
  }' "$work/shares" "$work/rounds"
echo "-- processor time by process and round:"
awk '{ printf "%s%s %s %s%%\n", $1, $2, $3, $4 }' "$work/shares" | paste -sd' ' | fold -s -w 100
echo "Power click to exit: $(paste -sd' ' "$work/exits") ms"
