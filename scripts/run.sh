#!/usr/bin/env bash
# Builds the zephyrix program alone (the run preset: optimised, without the tests
# and benchmarks) and starts it; arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake --preset run >/dev/null
cmake --build --preset run --target zephyrix -j "$(nproc)"
exec build/run/src/app/zephyrix "$@"
