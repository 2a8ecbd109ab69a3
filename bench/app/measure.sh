#!/usr/bin/env bash
# Measures the application on a private X server with SDL's disk audio driver:
# first the in-process benchmark (start to first drawn panel, processor time and
# resident memory while streaming, Power to end of shut-down), then the zephyrix
# program itself from outside (start to visible window, resident memory and
# processor time of the whole process while it streams, Power click to exit).
# Targets: first panel < 150 ms, < 40 MB resident, < 1% of one core, exit within
# the drain pauses (2 x 2 x 500 ms) + 100 ms.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/deps.sh test  # Xvfb, xdotool, and the benchmark library for app_bench
cmake --preset release >/dev/null
cmake --build --preset release -j 2 --target zephyrix app_bench >/dev/null
root=$PWD
app=$root/build/release/src/app/zephyrix
bench=$root/build/release/bench/app/app_bench
seconds=${MEASURE_SECONDS:-10}

work=$(mktemp -d)
xvfb_pid=
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

. bench/x_display.sh
start_x_display
export SDL_VIDEODRIVER=x11 ZEPHYRIX_SCALE=2

echo "== in-process benchmark =="
"$bench" --benchmark_counters_tabular=true

echo "== the zephyrix program =="
cd "$work"
head -c $((32000 * 2 * 60)) /dev/urandom >capture.raw   # a minute of noise
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN=$work/capture.raw SDL_DISKAUDIOFILE=$work/playback.raw
ms() { date +%s%3N; }
start=$(ms)
"$app" &
app_pid=$!
until xdotool search --onlyvisible --name '^Zephyrix [0-9]+\.[0-9]+$' >/dev/null 2>&1; do
  sleep 0.005
  [ $(( $(ms) - start )) -gt 10000 ] && { echo "no window"; exit 1; }
done
echo "start to visible window: $(( $(ms) - start )) ms (includes xdotool's own polling)"

# Unmute and switch echo and flanger on, then let it stream.
eval "$(xdotool search --onlyvisible --name '^Zephyrix [0-9]+\.[0-9]+$' getwindowgeometry --shell)"
click() { xdotool mousemove --sync $((X + $1 * 2)) $((Y + ($2 - 26) * 2)) click 1; sleep 0.1; }
click 199 232   # Mute
click 45 155    # Echo
click 86 155    # Flanger
sleep 1
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$app_pid/stat"; }
c0=$(cpu); t0=$(ms)
sleep "$seconds"
c1=$(cpu); t1=$(ms)
rss=$(awk '/VmRSS/ {print $2}' "/proc/$app_pid/status")
hwm=$(awk '/VmHWM/ {print $2}' "/proc/$app_pid/status")
awk -v c=$((c1 - c0)) -v hz="$ticks" -v w=$((t1 - t0)) \
  'BEGIN {printf "processor time while streaming: %.2f%% of one core over %.1f s\n", 100 * c / hz / (w / 1000), w / 1000}'
echo "resident memory while streaming: $((rss / 1024)) MB (peak $((hwm / 1024)) MB)"

pressed=$(ms)
click 224 256   # Power
wait "$app_pid"
code=$?
app_pid=
echo "Power click to exit: $(( $(ms) - pressed )) ms (exit code $code; includes the click's own time)"
