#!/usr/bin/env bash
# A private sound server for tests and measurements, without a desktop: a session
# bus, pipewire, wireplumber and pipewire-pulse in a fresh runtime folder, with
#   spk   a mono null sink, the default output (spk.monitor is what was played);
#   feed  a mono null sink to play the microphone's sound into;
#   mic   the default input, a remap of feed.monitor (SDL lists no monitors).
#
#   scripts/sound_server.sh start [--owner PID]
#       Starts it and prints `export VAR=...` lines for its clients, also kept in
#       $ZEPHYRIX_SOUND_DIR/env:  eval "$(scripts/sound_server.sh start)"
#       With --owner, the server also stops by itself once process PID is gone,
#       so a killed test does not leave it behind.
#   scripts/sound_server.sh stop [DIR]
#       Stops the server of runtime folder DIR (default $ZEPHYRIX_SOUND_DIR):
#       only the processes it started, by their recorded ids; then removes DIR.
#   scripts/sound_server.sh restart [DIR]
#       Stops pipewire, wireplumber and pipewire-pulse and starts them again
#       with the same devices, as a package upgrade or a crash does; the
#       clients' connections break.
#   scripts/sound_server.sh stall SECONDS [DIR]
#       Stops the whole server (SIGSTOP) for SECONDS, then lets it go on, as a
#       suspended laptop does.
set -euo pipefail

usage() {
  echo "usage: $0 start [--owner PID] | stop [DIR] | restart [DIR] | stall SECONDS [DIR]" >&2
  exit 2
}

# "PID START-TIME" of a process, the start time telling a reused id apart.
identity() {
  local pid=$1 stat
  stat=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
  stat=${stat##*) }  # the fields from the third on; the name before may hold spaces
  # shellcheck disable=SC2086
  set -- $stat
  echo "$pid ${20}"  # field 22: start time
}

# Records a started process in the folder's list; "NAME" names it for messages.
record() {
  local id
  id=$(identity "$2") || {
    echo "sound server: $1 exited at once; see $dir/$1.log" >&2
    return 1
  }
  echo "$id $1" >>"$dir/pids"
}

# Whether the recorded process still runs: same id and start time, and not a
# zombie that nobody has reaped yet.
alive() {  # PID START-TIME
  [ "$(identity "$1" 2>/dev/null)" = "$1 $2" ] &&
    ! grep -q '^State:[[:space:]]*Z' "/proc/$1/status" 2>/dev/null
}

# Ends the recorded processes, newest first (pipewire-pulse and wireplumber
# before pipewire, the bus last), or only the daemons with "daemons".
end_processes() {  # FOLDER [daemons]
  local folder=$1 which=${2:-all} pid start name waited
  tac "$folder/pids" | while read -r pid start name; do
    [ "$which" = daemons ] && [ "$name" = dbus-daemon ] && continue
    alive "$pid" "$start" || continue
    kill -TERM "$pid" 2>/dev/null || true
    waited=0
    while alive "$pid" "$start" && [ "$waited" -lt 30 ]; do
      sleep 0.1
      waited=$((waited + 1))
    done
    if alive "$pid" "$start"; then
      echo "sound server: $name ($pid) ignored SIGTERM, killing it" >&2
      kill -KILL "$pid" 2>/dev/null || true
    fi
  done
}

stop_server() {
  local folder=$1
  [ -f "$folder/pids" ] || {
    echo "sound server: $folder holds no server of ours" >&2
    return 1
  }
  end_processes "$folder"
  rm -rf "$folder"
}

# pipewire, wireplumber and pipewire-pulse in $dir, with the test's devices.
start_daemons() {
  # setsid: the daemons must not get the terminal's signals meant for the caller.
  setsid pipewire >"$dir/pipewire.log" 2>&1 </dev/null &
  record pipewire $!
  wait_for "pipewire's socket" test -S "$dir/pipewire-0"
  setsid wireplumber >"$dir/wireplumber.log" 2>&1 </dev/null &
  record wireplumber $!
  setsid pipewire-pulse >"$dir/pipewire-pulse.log" 2>&1 </dev/null &
  record pipewire-pulse $!
  wait_for "pactl info" pactl info

  # Mono throughout, so no channel mixing changes the level on the way.
  local mono="channels=1 channel_map=mono"
  # shellcheck disable=SC2086  # $mono is two arguments
  {
    pactl load-module module-null-sink sink_name=spk $mono \
      sink_properties=device.description=Speaker >/dev/null
    pactl load-module module-null-sink sink_name=feed $mono \
      sink_properties=device.description=Microphone-feed >/dev/null
    pactl load-module module-remap-source master=feed.monitor source_name=mic $mono \
      source_properties=device.description=Microphone >/dev/null
  }
  # The session manager takes a moment before it takes the defaults.
  wait_for "the default sink" set_default sink spk
  wait_for "the default source" set_default source mic
}

restart_server() {
  dir=$1
  [ -f "$dir/env" ] || {
    echo "sound server: $dir holds no server of ours" >&2
    return 1
  }
  # shellcheck disable=SC1091
  . "$dir/env"
  end_processes "$dir" daemons
  grep ' dbus-daemon$' "$dir/pids" >"$dir/pids.new" || true
  mv "$dir/pids.new" "$dir/pids"
  rm -f "$dir/pipewire-0" "$dir/pipewire-0.lock"
  start_daemons
}

stall_server() {
  local seconds=$1 folder=$2 pid start name
  while read -r pid start name; do
    [ "$name" = dbus-daemon ] || ! alive "$pid" "$start" || kill -STOP "$pid"
  done <"$folder/pids"
  sleep "$seconds"
  while read -r pid start name; do
    [ "$name" = dbus-daemon ] || ! alive "$pid" "$start" || kill -CONT "$pid"
  done <"$folder/pids"
}

start_server() {
  local owner=""
  while [ $# -gt 0 ]; do
    case "$1" in
      --owner) [ $# -ge 2 ] || usage; owner=$2; shift 2 ;;
      *) usage ;;
    esac
  done
  for tool in dbus-daemon pipewire wireplumber pipewire-pulse pactl; do
    command -v "$tool" >/dev/null || { echo "sound server: $tool is not installed" >&2; exit 3; }
  done

  dir=$(mktemp -d "${TMPDIR:-/tmp}/zephyrix-sound.XXXXXX")
  chmod 700 "$dir"
  : >"$dir/pids"
  trap 'start_failed' EXIT

  # Everything the daemons keep (state, configuration) stays in the folder too,
  # so no run inherits a default device chosen by an earlier one.
  export XDG_RUNTIME_DIR=$dir XDG_STATE_HOME=$dir/state XDG_CONFIG_HOME=$dir/config
  export PIPEWIRE_RUNTIME_DIR=$dir PULSE_RUNTIME_PATH=$dir/pulse PULSE_SERVER=unix:$dir/pulse/native
  mkdir -m 700 "$dir/state" "$dir/config"

  local bus
  bus=$(dbus-daemon --session --address="unix:path=$dir/bus" --fork --print-address=1 \
    --print-pid=1 --nopidfile)
  export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
  record dbus-daemon "${bus##*$'\n'}"

  start_daemons

  if [ -n "$owner" ]; then
    local self
    self=$(readlink -f "$0")
    # shellcheck disable=SC2016  # the watcher expands its own arguments
    setsid bash -c 'while kill -0 "$1" 2>/dev/null && [ -d "$2" ]; do sleep 1; done
                    [ -d "$2" ] && exec "$3" stop "$2"' watch "$owner" "$dir" "$self" \
      >/dev/null 2>&1 </dev/null &
  fi

  {
    for var in XDG_RUNTIME_DIR PIPEWIRE_RUNTIME_DIR PULSE_RUNTIME_PATH PULSE_SERVER \
      DBUS_SESSION_BUS_ADDRESS; do
      printf "export %s='%s'\n" "$var" "${!var}"
    done
    printf "export ZEPHYRIX_SOUND_DIR='%s'\n" "$dir"
  } >"$dir/env"
  trap - EXIT
  cat "$dir/env"
}

# A start that failed half-way: show the daemons' logs, then stop what did start.
start_failed() {
  local log
  echo "sound server: start failed" >&2
  for log in "$dir"/*.log; do
    [ -s "$log" ] && { echo "--- ${log##*/}"; tail -n 20 "$log"; } >&2
  done
  stop_server "$dir"
}

# Retries COMMAND for up to 10 s; fails naming WHAT.
wait_for() {
  local what=$1 tries=0
  shift
  until "$@" >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ "$tries" -ge 100 ]; then
      echo "sound server: no $what after 10 s" >&2
      return 1
    fi
    sleep 0.1
  done
}

set_default() {  # sink|source NAME
  pactl "set-default-$1" "$2" && [ "$(pactl "get-default-$1")" = "$2" ]
}

case "${1:-}" in
  start) shift; start_server "$@" ;;
  stop)
    [ $# -le 2 ] || usage
    folder=${2:-${ZEPHYRIX_SOUND_DIR:-}}
    [ -n "$folder" ] || usage
    stop_server "$folder"
    ;;
  restart)
    [ $# -le 2 ] || usage
    folder=${2:-${ZEPHYRIX_SOUND_DIR:-}}
    [ -n "$folder" ] || usage
    restart_server "$folder"
    ;;
  stall)
    { [ $# -ge 2 ] && [ $# -le 3 ]; } || usage
    folder=${3:-${ZEPHYRIX_SOUND_DIR:-}}
    [ -n "$folder" ] || usage
    stall_server "$2" "$folder"
    ;;
  *) usage ;;
esac
