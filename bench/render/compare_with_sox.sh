#!/usr/bin/env bash
# Throughput of zephyrix-render against sox on the same ten-minute mono 32000 Hz
# recording, every effect on in both: echo, flanger and gain (sox); echo 1/4S,
# flanger, reverse, slicer, downsampler x2 and gain 2 (zephyrix-render). Prints
# the wall time and samples per second of each and their ratio.
#
#   bench/render/compare_with_sox.sh [RUNS]    (from the repository root; default 3 runs)
#
# Uses the release build: cmake --preset release && cmake --build --preset release
set -euo pipefail
cd "$(dirname "$0")/../.."

runs=${1:-3}
case "$runs" in
  '' | *[!0-9]* | 0) echo "usage: bench/render/compare_with_sox.sh [RUNS]" >&2; exit 2 ;;
esac
render=build/release/tools/render/zephyrix-render
if [ ! -x "$render" ]; then
  echo "no release build: cmake --preset release && cmake --build --preset release" >&2
  exit 2
fi
command -v sox >/dev/null || { echo "sox is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=600
rate=32000
samples=$((seconds * rate))

# Speech repeated to ten minutes, or noise when espeak-ng is missing.
if espeak-ng -w "$work/phrase.wav" \
    "Every effect of the unit, on ten minutes of speech, timed against a reference." \
    2>/dev/null; then
  sox "$work/phrase.wav" -r "$rate" -b 16 -c 1 "$work/once.wav"
  once=$(soxi -D "$work/once.wav")
  repeats=$(awk -v s="$seconds" -v o="$once" 'BEGIN { print int(s / o) + 1 }')
  sox "$work/once.wav" "$work/in.wav" repeat "$repeats" trim 0 "$seconds"
else
  sox -n -r "$rate" -b 16 -c 1 "$work/in.wav" synth "$seconds" pinknoise vol 0.3
fi
[ "$(soxi -s "$work/in.wav")" -eq "$samples" ] || { echo "input has the wrong length" >&2; exit 1; }

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
best() { printf '%s\n' "$@" | sort -g | head -n1; }

render_times=()
sox_times=()
for ((i = 1; i <= runs; i++)); do
  # Both write fresh files: replacing a large file costs the filesystem time
  # that has nothing to do with either program.
  rm -f "$work/render.wav" "$work/sox.wav"
  t0=$(now)
  "$render" --echo 1/4S --flanger --reverse --slicer 1011101110111010 --downsample 2 --gain 2 \
    "$work/in.wav" "$work/render.wav"
  t1=$(now)
  sox "$work/in.wav" "$work/sox.wav" echo 0.8 0.9 250 0.5 flanger vol 2 2>/dev/null
  t2=$(now)
  render_times+=("$(elapsed "$t0" "$t1")")
  sox_times+=("$(elapsed "$t1" "$t2")")
  echo "run $i: zephyrix-render ${render_times[-1]} s, sox ${sox_times[-1]} s"
done

r=$(best "${render_times[@]}")
s=$(best "${sox_times[@]}")
awk -v r="$r" -v s="$s" -v n="$samples" 'BEGIN {
  printf "input: %d samples (%d s at 32000 Hz), best of the runs\n", n, n / 32000
  printf "zephyrix-render: %8.3f s  %12.0f samples/s\n", r, n / r
  printf "sox:             %8.3f s  %12.0f samples/s\n", s, n / s
  printf "ratio: zephyrix-render is %.1fx the throughput of sox\n", s / r
}'
