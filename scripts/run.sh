#!/usr/bin/env bash
# Builds the release configuration and starts Zephyrix.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
app=build/release/src/app/zephyrix
if [ -x "$app" ]; then
  exec "$app" "$@"
fi
echo "Built everything in build/release; the zephyrix application itself is not part of this build yet."
