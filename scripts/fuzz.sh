#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer + UBSan) and runs
# each, the preset file loader, the control socket's request parser and the
# client's reading of the answers, and the MIDI map file's parser, for
# SECONDS (default 30) from a scratch copy of its seed corpus, so the corpora
# in the repository stay as committed. Exits non-zero if
# the fuzzer finds a crash, a sanitizer report or a failed check; the input that
# caused it is kept under build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
case "$seconds" in
  '' | *[!0-9]*) echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 2 ;;
esac
scripts/deps.sh test  # clang and its fuzzer runtime

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target preset_file_fuzz remote_request_fuzz remote_answer_fuzz midi_map_fuzz -j "$(nproc)"

artifacts=build/fuzz/artifacts/
mkdir -p "$artifacts"
corpus=""
trap 'rm -rf "$corpus"' EXIT
for target in preset_file remote_request remote_answer midi_map; do
  rm -rf "$corpus"
  corpus=$(mktemp -d)
  cp "tests/fuzz/corpus/$target"/* "$corpus/"
  echo "== fuzz: ${target//_/ }, ${seconds} s =="
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "build/fuzz/tests/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len=1024 \
    -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus"
done
