# Sourced by the live measurements (from the repository's top folder): the
# programs they run. live_programs [BUILD-DIR] sets app and signal, building
# the release configuration's first when no folder is given.
live_programs() {
  local build=${1:-}
  if [ -z "$build" ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release -j 2 --target zephyrix live_signal >/dev/null
    build=$PWD/build/release
  fi
  app=$build/src/app/zephyrix
  signal=$build/bench/live/live_signal
}
