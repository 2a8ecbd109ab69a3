#!/usr/bin/env bash
# The whole test suite: the normal build with the live tests on a private sound
# server, then AddressSanitizer + UBSan, then the threaded tests under
# ThreadSanitizer (live ones too), then the Debian package, then a short fuzz
# run of the preset loader and of the remote control's request parser.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

jobs=$(nproc)
suite() {
  echo "== $1 =="
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
  ctest --preset "$1" -j "$jobs" -LE 'live|package'
}

# The tests on a private sound server, alone on the machine: the server mixes in
# real time, and a server that misses its deadline on a busy machine drops a
# few milliseconds that no code of ours can bring back. Each test reads the
# server's own count of the cycles its nodes were late for: a fault in the
# sound while the server's own nodes were late does not count (the test is
# skipped and says so, with the counts), one while none was is ours and fails.
live() {
  echo "== $1: live =="
  ctest --preset "$1" -L live
}

suite debug
live debug
suite asan
suite tsan
# The backends' threads with the server's client libraries, whose own
# synchronisation ThreadSanitizer cannot see: their accesses are left out
# (ignore_noninstrumented_modules in the preset), ours are all checked.
live tsan

# The package's own build (scripts/package.sh), its checks, and as root its
# install and removal.
echo "== package =="
ctest --preset debug -L package

if [ -x scripts/fuzz.sh ]; then
  scripts/fuzz.sh 30
fi
