# Sourced by the live measurements (from the repository's top folder): the
# programs they run and the private session they run them in.
#
# live_programs [BUILD-DIR] sets app and signal, building the release
# configuration's first when no folder is given.
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

# live_session starts a private sound server and a private X server, makes a
# work folder (work) and sets a clean-up on exit that ends the unit (app_pid),
# every recorder (recorders) and both servers, and removes the work folder
# unless LIVE_KEEP is set. The unit's window goes to X, its sound to the
# backend it chooses.
live_session() {
  work=$(mktemp -d)
  xvfb_pid=""
  app_pid=""
  recorders=()
  trap live_cleanup EXIT
  eval "$(scripts/sound_server.sh start --owner $$)"
  . bench/x_display.sh
  start_x_display
  export SDL_VIDEODRIVER=x11 ZEPHYRIX_SCALE=2
  unset SDL_AUDIODRIVER
}

live_cleanup() {
  if [ -n "$app_pid" ]; then kill -KILL "$app_pid" 2>/dev/null || true; fi
  for pid in "${recorders[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  if [ -n "${ZEPHYRIX_SOUND_DIR:-}" ]; then scripts/sound_server.sh stop >/dev/null || true; fi
  if [ -n "${LIVE_KEEP:-}" ]; then echo "recordings kept in $work"; else rm -rf "$work"; fi
}
