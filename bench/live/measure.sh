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
#   - SECONDS of the signal, bypassed, with the output recorded: glitches
#     (lost or repeated audio, dropouts, steps) and processor time of the
#     client (the zephyrix process) and of every server process (pipewire,
#     pipewire-pulse, wireplumber), from /proc. The input (feed.monitor) is
#     recorded beside it, so the faults the server made in the signal before
#     it reached any contender are told apart.
# and runs once for each scenario, a change a desktop makes to the server while
# the signal plays (T is SECONDS/5, at least 3 s):
#   steady     nothing
#   join       a recorder asking for 256 frames joins the contender's output
#              (the speaker, or the microphone node) for 3 s at T, and again
#              3 s after it left
#   cycleN     the server's cycle forced to N frames (128, 256, 1024, 2048)
#              from T to T before the end; processor time over that stretch only
#   rate       the server's rate forced to 44100 Hz from T to T before the end
#   restart    the server restarted (scripts/sound_server.sh restart) half-way;
#              every recorder and player breaks with it, so a fresh player plays
#              the rest of the signal and a fresh recorder records the output
#              from the moment the server answers again (the loopback, a
#              module of the old server, is loaded again at that moment). Back:
#              from the server answering to the first sound at the output,
#              which includes one pass through the contender (its latency); for
#              the unit also to its "sound is back" line. Glitches after 2 s or
#              after the first sound, whichever is later; processor time from
#              2 s after the restart to the end
#   stall      the server stopped for 3 s half-way (scripts/sound_server.sh
#              stall 3); the latency is probed after it instead of before
#   xrun       the server stopped for 0.1 s five times, 2 s apart, from T: each
#              stop makes it miss cycles, as a busy machine does
# Whole-system processor time is given as a ratio to the loopback's, which is
# the server's alone. Targets, printed beside the figures: faults no more than
# the loopback's; back within 2 s of a restart; whole-system processor time at
# most 1.2x the loopback's at every forced cycle (1.5x steady); latency no
# greater than the loopback's + 1 ms; Power to exit under 2.5 s.
#
#   bench/live/measure.sh [--build DIR] [--only LIST] [--scenarios LIST]
#                         [ROUNDS [SECONDS]]
# ROUNDS default 5, SECONDS default 60 (at least 20 for any scenario but
# steady). --only takes a comma list of the contenders above (the loopback
# always runs), --scenarios one of the scenarios (default all). Without
# --build, the release preset is configured and built. LIVE_KEEP=1 keeps the
# recordings. The summary is Markdown tables: one a scenario, then one of all.
set -euo pipefail
cd "$(dirname "$0")/../.."

all_scenarios="steady,join,cycle128,cycle256,cycle1024,cycle2048,rate,restart,stall,xrun"
usage() {
  echo "usage: $0 [--build DIR] [--only native,sdl,microphone] [--scenarios $all_scenarios]" \
    "[ROUNDS [SECONDS]]" >&2
  exit 2
}
build=""
only="native,sdl,microphone"
chosen=$all_scenarios
while [ $# -ge 2 ]; do
  case "$1" in
    --build) build=$(cd "$2" && pwd); shift 2 ;;
    --only) only=$2; shift 2 ;;
    --scenarios) chosen=$2; shift 2 ;;
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
scenarios=()
for s in ${chosen//,/ }; do
  case ",$all_scenarios," in *",$s,"*) scenarios+=("$s") ;; *) usage ;; esac
  if [ "$s" != steady ] && [ "$seconds" -lt 20 ]; then usage; fi
done
[ ${#scenarios[@]} -gt 0 ] || usage
scripts/deps.sh test
. bench/live/programs.sh
live_programs "$build"
probe_seconds=10
lead=$((seconds / 5 > 3 ? seconds / 5 : 3))  # T: when a change is made, and undone before the end
half=$((seconds / 2))

live_session
unset ZEPHYRIX_AUDIO

"$signal" make "$work/signal.wav" "$seconds"
"$signal" make "$work/rest.wav" "$((seconds - half))"
"$signal" make "$work/probe.wav" "$probe_seconds"
load_probe() {
  pactl load-module module-null-sink sink_name=probe channels=2 \
    channel_map=front-left,front-right >/dev/null
}
load_probe
load_loopback() {
  pactl load-module module-loopback source=mic sink=spk channels=1 channel_map=mono \
    latency_msec=250 source_dont_move=true sink_dont_move=true
}
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

# The change SCENARIO makes while the signal plays through OUTPUT, started with
# the signal; for a forced cycle it also takes the processor-time samples of
# NAME at both ends of the forced stretch.
disturb() {  # SCENARIO OUTPUT NAME
  local consumer=(--target "$2") until=$((seconds - lead))
  [ "$2" = spk.monitor ] && consumer=(--target spk -P '{ stream.capture.sink = true }')
  case "$1" in
    join)
      sleep "$lead"
      for _ in 1 2; do
        timeout -s INT 3 pw-record --latency 256 "${consumer[@]}" /dev/null || true
        sleep 3
      done
      ;;
    cycle*)
      sleep "$lead"
      pw-metadata -n settings 0 clock.force-quantum "${1#cycle}" >/dev/null
      sleep 1  # the change itself is left out of the processor time
      cpu_sample >"$work/$3.cpu0"
      ms >"$work/$3.t0"
      sleep $((until - lead - 1))
      cpu_sample >"$work/$3.cpu1"
      ms >"$work/$3.t1"
      pw-metadata -n settings 0 clock.force-quantum 0 >/dev/null
      ;;
    rate)
      sleep "$lead"
      pw-metadata -n settings 0 clock.force-rate 44100 >/dev/null
      sleep $((until - lead))
      pw-metadata -n settings 0 clock.force-rate 0 >/dev/null
      ;;
    stall)
      sleep "$half"
      scripts/sound_server.sh stall 3
      ;;
    xrun)
      sleep "$lead"
      for _ in 1 2 3 4 5; do
        scripts/sound_server.sh stall 0.1
        sleep 2
      done
      ;;
  esac
}

# The glitch and processor-time part: the signal through OUTPUT, recorded,
# while SCENARIO makes its change.
play_and_measure() {  # NAME OUTPUT SCENARIO
  record "$2" 1 "$work/$1.wav"
  record feed.monitor 1 "$work/$1-input.wav"
  sleep 0.5
  cpu_sample >"$work/$1.cpu0"
  ms >"$work/$1.t0"
  disturb "$3" "$2" "$1" &
  local change=$!
  paplay --device=feed "$work/signal.wav"
  wait "$change"
  if [ ! -s "$work/$1.t1" ]; then
    cpu_sample >"$work/$1.cpu1"
    ms >"$work/$1.t1"
  fi
  stop_recorders
}

# The restart: the signal through OUTPUT until half-way, the server restarted,
# the rest of the signal played afresh and recorded from the moment the server
# answers. Writes NAME-a.wav, NAME-b.wav, NAME.back (ms from the server's
# answer to the recorder's start) and for the unit NAME.line (ms to its
# "sound is back", negative when it came before the server had its devices).
play_through_restart() {  # NAME OUTPUT CONTENDER
  local player begun answered lines watcher
  record "$2" 1 "$work/$1-a.wav"
  sleep 0.5
  paplay --device=feed "$work/signal.wav" 2>/dev/null &
  player=$!
  sleep "$half"
  lines=$(grep -c 'sound is back' "$work/zephyrix.log" || true)
  if [ "$3" != loopback ]; then
    watch_line "$lines" >"$work/$1.line-at" &
    watcher=$!
  fi
  scripts/sound_server.sh restart >/dev/null
  answered=$(ms)
  [ "$3" = loopback ] && load_loopback >"$work/loop"
  if [ "$3" = microphone ]; then  # the node comes back with the unit
    until pactl list short sources | grep -q zephyrix_microphone; do
      sleep 0.02
      [ $(($(ms) - answered)) -lt 10000 ] || break
    done
  fi
  begun=$(ms)
  record "$2" 1 "$work/$1-b.wav"
  (sleep 2; cpu_sample >"$work/$1.cpu0"; ms >"$work/$1.t0") &
  local sampler=$!
  paplay --device=feed "$work/rest.wav"
  wait "$player" 2>/dev/null || true  # broken at the restart, as is the first recorder
  wait "$sampler"
  cpu_sample >"$work/$1.cpu1"
  ms >"$work/$1.t1"
  stop_recorders
  load_probe
  echo $((begun - answered)) >"$work/$1.back"
  if [ -n "${watcher:-}" ]; then
    wait "$watcher" || true
    if [ -s "$work/$1.line-at" ]; then
      echo $(($(cat "$work/$1.line-at") - answered)) >"$work/$1.line"
    fi
  fi
}
# Prints the time at which the unit's log holds more than LINES "sound is
# back" lines; nothing if not within 20 s.
watch_line() {  # LINES
  local start
  start=$(ms)
  while [ "$(grep -c 'sound is back' "$work/zephyrix.log" || true)" -le "$1" ]; do
    sleep 0.01
    [ $(($(ms) - start)) -lt 20000 ] || return 0
  done
  ms
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
# "FAULTS MARKERS DROPOUTS" of an analysis by faults: dropouts are the silences
# inside a sound and the pauses between sounds.
tally() {  # FAULTS-FILE
  awk 'NR == 1 { for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] } }
       /^  silence at/ { silences++ }
       END { pauses = v["sounds"] > 1 ? v["sounds"] - 1 : 0
             print v["faults"] + 0, v["markers"] + 0, silences + pauses }' "$1"
}
# Seconds into a recording at which its first sound begins; nothing if silent.
onset() {  # WAV
  "$signal" faults "$1" 0 | awk '/^sound / { sub(/-.*/, "", $2); print $2; exit }'
}

# The restart's figures, "FAULTS MARKERS DROPOUTS BACK-MS", of both parts; the
# second part's from 2 s after the restart or 0.4 s after its first sound.
restart_figures() {  # NAME
  local begun first from back=never a b
  faults "$work/$1-a.wav" >"$work/$1.faults"
  a=$(tally "$work/$1.faults")
  b="0 0 0"
  begun=$(cat "$work/$1.back")
  first=$(onset "$work/$1-b.wav")
  if [ -n "$first" ]; then
    back=$(awk -v b="$begun" -v f="$first" 'BEGIN { printf "%d", b + 1000 * f }')
    from=$(awk -v b="$begun" -v f="$first" \
      'BEGIN { w = 2 - b / 1000; f += 0.4; printf "%.3f", (f > w ? f : w) }')
    "$signal" faults "$work/$1-b.wav" "$from" >"$work/$1-b.faults"
    b=$(tally "$work/$1-b.faults")
  fi
  echo "$a $b" | awk -v back="$back" '{ print $1 + $4, $2 + $5, $3 + $6, back }'
}

# One round of CONTENDER in SCENARIO: latency, then glitches and processor
# time; adds a line to the rounds file: SCENARIO CONTENDER ROUND FAULTS
# MARKERS DROPOUTS BACK-MS LATENCY LINE-MS INPUT-FAULTS ("-" where there is
# none).
round() {  # CONTENDER SCENARIO ROUND
  local name=$2-$1$3 output=spk.monitor figures lat line input=-
  echo "== $2, round $3 of $rounds: $1, ${seconds} s =="
  if [ "$1" = loopback ]; then
    load_loopback >"$work/loop"
  else
    launch "$1"
    [ "$1" = microphone ] && output=zephyrix_microphone
    click 224 232  # Bypass
  fi
  [ "$2" = stall ] || probe_latency "$name" "$output"
  if [ "$2" = restart ]; then
    play_through_restart "$name" "$output" "$1"
  else
    play_and_measure "$name" "$output" "$2"
  fi
  [ "$2" != stall ] || probe_latency "$name" "$output"
  if [ "$1" = loopback ]; then pactl unload-module "$(cat "$work/loop")"; else power; fi
  if [ "$2" = restart ]; then
    figures=$(restart_figures "$name")
  else
    faults "$work/$name.wav" >"$work/$name.faults"
    figures="$(tally "$work/$name.faults") -"
    faults "$work/$name-input.wav" >"$work/$name-input.faults"
    input=$(tally "$work/$name-input.faults" | cut -d' ' -f1)
  fi
  latency "$work/$name-probe.wav" >"$work/$name.latency"
  lat=$(sed -n 's/.*median=\([0-9.]*\).*/\1/p' "$work/$name.latency")
  line=$(cat "$work/$name.line" 2>/dev/null || echo -)
  echo "$2 $1 $3 $figures ${lat:-nan} $line $input" | tee -a "$work/rounds" |
    awk '{ printf "faults %d in %d markers, dropouts %d, latency %s ms", $4, $5, $6, $8
           if ($7 != "-") printf ", back after %s ms (line %s ms)", $7, $9
           if ($10 != "-") printf "; the input itself %d faults", $10
           print "" }'
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

: >"$work/rounds"
for s in "${scenarios[@]}"; do
  for r in $(seq "$rounds"); do
    for c in "${contenders[@]}"; do round "$c" "$s" "$r"; done
  done
done

hz=$(getconf CLK_TCK)
# Processor share of each process over a measurement: "NAME PERCENT" lines.
shares() {  # NAME
  paste -d' ' "$work/$1.cpu0" "$work/$1.cpu1" |
    awk -v hz="$hz" -v wall=$(($(cat "$work/$1.t1") - $(cat "$work/$1.t0"))) \
      '{ printf "%s %.3f\n", $1, 100 * ($4 - $2) / hz / (wall / 1000) }'
}
for s in "${scenarios[@]}"; do
  for c in "${contenders[@]}"; do
    for r in $(seq "$rounds"); do
      shares "$s-$c$r" | awk -v s="$s" -v c="$c" -v r="$r" '{ print s, c, r, $0 }'
    done
  done
done >"$work/shares"

echo
echo "Produced by bench/live/measure.sh: ${rounds} rounds of ${seconds} s; processor time in %"
echo "of one core; whole system = (client + server) / the loopback's server."
awk -v list="${scenarios[*]}" -v who="${contenders[*]}" -f bench/live/measure_tables.awk \
  "$work/shares" "$work/rounds"
echo
echo "Power click to exit: $(paste -sd' ' "$work/exits") ms"
