#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when
# any of them is missing. Runs apt-get only if something must be installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libsdl2-dev libsndfile1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xdotool x11-utils imagemagick sox espeak-ng
  pipewire pipewire-pulse wireplumber pulseaudio-utils dbus
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
