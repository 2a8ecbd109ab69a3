#!/usr/bin/env bash
# Throughput of zephyrix-render against sox on one mono 32000 Hz recording,
# every effect on in both, and of zephyrix-render --bypass against copying the
# file with cp. The four commands take turns, each writing a fresh file, and
# the median of the runs of each is reported.
#
#   bench/render/compare_with_sox.sh [pink|speech] [RUNS]    (from the repository root)
#
#   pink    300 s of pink noise (default); zephyrix-render with echo 1S, flanger,
#           reverse, a busy slicer, downsampler x2 and gain 2
#   speech  ten minutes of speech (noise when espeak-ng is missing); echo 1/4S,
#           flanger, reverse, slicer, downsampler x2 and gain 2
#   RUNS    runs of each command, default 5
#
# sox runs `echo 0.8 0.9 250 0.5 flanger vol 2` in both cases. Uses the release
# build (cmake --preset release && cmake --build --preset release), or the
# executable named by ZEPHYRIX_RENDER.
set -euo pipefail
cd "$(dirname "$0")/../.."

usage() { echo "usage: bench/render/compare_with_sox.sh [pink|speech] [RUNS]" >&2; exit 2; }
case=pink
if [ $# -gt 0 ] && [[ "$1" == pink || "$1" == speech ]]; then case=$1; shift; fi
runs=${1:-5}
case "$runs" in '' | *[!0-9]* | 0) usage ;; esac
[ $# -le 1 ] || usage
scripts/deps.sh test  # sox and espeak-ng

render=${ZEPHYRIX_RENDER:-build/release/tools/render/zephyrix-render}
if [ ! -x "$render" ]; then
  echo "no release build: cmake --preset release && cmake --build --preset release" >&2
  exit 2
fi
command -v sox >/dev/null || { echo "sox is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rate=32000

if [ "$case" = pink ]; then
  seconds=300
  effects=(--echo 1S --flanger --reverse --slicer 1011101110111010 --downsample 2 --gain 2)
  sox -n -r "$rate" -c 1 -b 16 "$work/in.wav" synth "$seconds" pinknoise
else
  seconds=600
  effects=(--echo 1/4S --flanger --reverse --slicer 1011101110111010 --downsample 2 --gain 2)
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
fi
samples=$((seconds * rate))
[ "$(soxi -s "$work/in.wav")" -eq "$samples" ] || { echo "input has the wrong length" >&2; exit 1; }

# Appends to the array named first the wall time in milliseconds of the command
# after it, which writes $work/out.wav afresh: replacing a large file costs the
# filesystem time that belongs to no program. The shell's own clock, so no
# process is started to read the time; sox's warnings (clipping) are dropped.
timed() {
  local -n times=$1
  shift
  rm -f "$work/out.wav"
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>"$work/stderr" || { cat "$work/stderr" >&2; exit 1; }
  local end=$EPOCHREALTIME
  times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", (b - a) * 1000 }')")
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

render_ms=() sox_ms=() bypass_ms=() cp_ms=()
for ((i = 1; i <= runs; i++)); do
  timed render_ms "$render" "${effects[@]}" "$work/in.wav" "$work/out.wav"
  timed sox_ms sox "$work/in.wav" "$work/out.wav" echo 0.8 0.9 250 0.5 flanger vol 2
  timed bypass_ms "$render" --bypass "$work/in.wav" "$work/out.wav"
  timed cp_ms cp "$work/in.wav" "$work/out.wav"
  echo "run $i: zephyrix-render ${render_ms[-1]} ms, sox ${sox_ms[-1]} ms," \
    "--bypass ${bypass_ms[-1]} ms, cp ${cp_ms[-1]} ms"
done

awk -v r="$(median "${render_ms[@]}")" -v s="$(median "${sox_ms[@]}")" \
    -v b="$(median "${bypass_ms[@]}")" -v c="$(median "${cp_ms[@]}")" \
    -v n="$samples" -v runs="$runs" -v what="$case" 'BEGIN {
  printf "input: %s, %d samples (%d s at 32000 Hz); median of %d runs\n", what, n, n / 32000, runs
  printf "zephyrix-render: %8.1f ms  %12.0f samples/s\n", r, n / (r / 1000)
  printf "sox:             %8.1f ms  %12.0f samples/s\n", s, n / (s / 1000)
  printf "ratio: zephyrix-render is %.1fx the throughput of sox\n", s / r
  printf "--bypass:        %8.1f ms, cp %.1f ms: %.2fx the time of copying the file\n", b, c, b / c
}'
