#!/usr/bin/env bash
# The whole test suite: the normal build, then AddressSanitizer + UBSan, then the
# threaded tests under ThreadSanitizer, then a short fuzz run of the preset loader.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

jobs=$(nproc)
suite() {
  echo "== $1 =="
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
  ctest --preset "$1" -j "$jobs"
}

suite debug
suite asan
suite tsan

if [ -x scripts/fuzz.sh ]; then
  scripts/fuzz.sh 30
fi
