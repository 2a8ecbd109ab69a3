#!/usr/bin/env bash
# Builds the Debian package (the package preset: optimised, hardened, installed
# in /usr) and leaves it in the top folder: zephyrix_VERSION-REVISION_ARCH.deb.
# Its dependencies are what the stripped binaries link, found by dpkg-shlibdeps.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake --preset package >/dev/null
cmake --build --preset package -j "$(nproc)"
rm -f build/package/*.deb
cpack --preset package >/dev/null
made=(build/package/*.deb)
mv -f "${made[@]}" .
echo "${made[@]##*/}"
