#!/usr/bin/env bash
# Builds the release configuration and starts Zephyrix.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
exec build/release/src/app/zephyrix "$@"
