#!/usr/bin/env bash
# Time from a fresh clone to the zephyrix window: clones a commit of this
# repository (a local git clone) into a scratch folder, runs its scripts/run.sh
# on a private X server with SDL's dummy audio driver (no sound server needed),
# notes when the window is visible, closes it (SIGTERM, which SDL turns into a
# quit) and removes the clone. Each run prints the clone's share and the whole
# time; then the min, median and max of the whole times.
# Target: at most 30 s on a 2-core machine with the packages present.
#
#   bench/app/clone_to_window.sh [--commit REV] [RUNS]
# REV defaults to HEAD (uncommitted changes are not in the clone); RUNS to 5.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

usage() { echo "usage: bench/app/clone_to_window.sh [--commit REV] [RUNS]" >&2; exit 2; }
rev=HEAD
if [ "${1:-}" = --commit ]; then
  [ $# -ge 2 ] || usage
  rev=$2
  shift 2
fi
runs=${1:-5}
case "$runs" in '' | *[!0-9]* | 0) usage ;; esac
[ $# -le 1 ] || usage
commit=$(git rev-parse --verify "$rev^{commit}") || usage
scripts/deps.sh test  # the build level, and Xvfb and xdotool for the measurement

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then kill -KILL "$app_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

. bench/x_display.sh
start_x_display
export SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy

ms() { date +%s%3N; }
visible() { xdotool search --onlyvisible --name '^Zephyrix' >/dev/null 2>&1; }
limit=600000  # ms; a build that takes longer than this has failed anyway

echo "commit ${commit:0:12}, $runs runs"
times=()
for run in $(seq "$runs"); do
  clone=$work/clone
  log=$work/run.log
  start=$(ms)
  git clone -q --no-checkout "$root" "$clone"
  git -C "$clone" checkout -q --detach "$commit"
  cloned=$(ms)
  "$clone/scripts/run.sh" >"$log" 2>&1 </dev/null &
  app_pid=$!
  until visible; do
    if ! kill -0 "$app_pid" 2>/dev/null || [ $(($(ms) - start)) -gt $limit ]; then
      echo "run $run: no window; the end of run.sh's output:" >&2
      tail -n 20 "$log" >&2
      exit 1
    fi
    sleep 0.05
  done
  shown=$(ms)
  times+=($((shown - start)))
  echo "run $run: clone $((cloned - start)) ms, clone to window $((shown - start)) ms"

  # run.sh ends in exec, so its process is the program's.
  kill -TERM "$app_pid"
  waited=0
  while kill -0 "$app_pid" 2>/dev/null && [ $waited -lt 100 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$app_pid" 2>/dev/null; then
    echo "run $run: zephyrix did not end within 10 s of SIGTERM; killed" >&2
    kill -KILL "$app_pid" 2>/dev/null || true
  fi
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
  rm -rf "$clone"
done

sorted=$(printf '%s\n' "${times[@]}" | sort -n)
min=$(head -n 1 <<<"$sorted")
max=$(tail -n 1 <<<"$sorted")
# The median: the middle run, or the mean of the two middle ones.
median=$(awk '{ v[NR] = $1 } END { m = (NR + 1) / 2; printf "%d", (v[int(m)] + v[int(m + 0.5)]) / 2 }' \
  <<<"$sorted")
echo "clone to window: min $min ms, median $median ms, max $max ms ($runs runs)"
