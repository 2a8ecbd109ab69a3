#!/usr/bin/env bash
# Installs the Debian packages that one level of work needs, when any is missing:
#
#   scripts/deps.sh run     the shared libraries the programs load
#   scripts/deps.sh build   run's, and the compiler, CMake, Ninja, pkg-config,
#                           the -dev packages and what makes the Debian package
#                                            (scripts/run.sh, scripts/package.sh)
#   scripts/deps.sh test    build's, and what the tests, the fuzzer, the
#                           measurements and the package's checks use
#                                                              (scripts/test.sh)
#
# Without a word: test, everything. Runs apt-get (after apt-get update) only if
# something must be installed, through sudo when not root.
set -euo pipefail

run=(libsdl2-2.0-0 libsndfile1 libpipewire-0.3-0)
# CPack's Debian generator finds the dependencies with dpkg-shlibdeps (dpkg-dev)
# among the files that `file` calls executables.
build=(
  cmake ninja-build g++ pkg-config
  libsdl2-dev libsndfile1-dev libpipewire-0.3-dev
  dpkg-dev file
)
test=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xdotool x11-utils imagemagick sox espeak-ng
  pipewire pipewire-pulse wireplumber pulseaudio-utils dbus
  python3
  lintian desktop-file-utils appstream man-db
)

case "${1:-test}" in
  run) packages=("${run[@]}") ;;
  build) packages=("${run[@]}" "${build[@]}") ;;
  test) packages=("${run[@]}" "${build[@]}" "${test[@]}") ;;
  *) echo "usage: scripts/deps.sh [run|build|test]" >&2; exit 2 ;;
esac

# One dpkg-query for all of them; a package it does not know prints nothing.
declare -A installed=()
while read -r status name; do
  [ "$status" = ii ] && installed[$name]=1
done < <(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>/dev/null || true)
missing=()
for p in "${packages[@]}"; do
  [ -n "${installed[$p]:-}" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
# env: sudo would drop a variable set in front of it.
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
