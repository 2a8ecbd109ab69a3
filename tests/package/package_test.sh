#!/usr/bin/env bash
# The Debian package as users get it: made by scripts/package.sh, holding every
# file, passing the checks distributions apply, hardened; and, as root, installed
# with its dependencies, working, and removed without a trace.
#   package_test.sh SOURCE_DIR
set -euo pipefail
cd "$1"
work=$(mktemp -d)
installed=""
cleanup() {
  [ -n "$installed" ] && dpkg -P zephyrix >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

scripts/package.sh >"$work/made" || { cat "$work/made"; fail "scripts/package.sh"; }
deb=$(tail -n 1 "$work/made")
arch=$(dpkg --print-architecture)
[[ "$deb" =~ ^zephyrix_[0-9]+\.[0-9]+\.[0-9]+-[0-9]+_${arch}\.deb$ ]] || fail "package named '$deb'"
echo "made $deb"

# Every file users need, where the desktop and man look for it.
app=org.zephyrix.Zephyrix
expected=(
  usr/bin/zephyrix usr/bin/zephyrix-render
  usr/share/man/man1/zephyrix.1.gz usr/share/man/man1/zephyrix-render.1.gz
  "usr/share/applications/$app.desktop" "usr/share/metainfo/$app.metainfo.xml"
  usr/share/doc/zephyrix/copyright usr/share/doc/zephyrix/changelog.Debian.gz
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x$size/apps/$app.png")
done
listed=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in "${expected[@]}"; do
  grep -qx "\./$f" <<<"$listed" || fail "$f is not in the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libsdl2 libsndfile1 libpipewire libc6; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends ($depends) has no $lib"
done

# The checks on the files as they will be installed.
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/$app.desktop"
# The metainfo, and the desktop entry it names as its launchable.
appstreamcli validate-tree --no-net "$work/root"
# Errors, warnings and notes all fail (lintian sees the icons' sizes, the
# manual pages, stripping and hardening), but for two: a first release outside Debian's
# archive closes no request for the package, and the spelling check reads
# "(defaul" plus an opcode byte in zephyrix-render's instructions as a word.
lintian --display-info --fail-on error,warning,info \
  --suppress-tags initial-upload-closes-no-bugs,spelling-error-in-binary "$deb"

if [ "$(id -u)" -ne 0 ]; then
  echo "not root: skipping the install and removal"
  exit 0
fi
if dpkg -s zephyrix >/dev/null 2>&1; then
  echo "zephyrix is installed already: skipping the install and removal, which would remove it"
  exit 0
fi
installed=yes
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
/usr/bin/zephyrix --version | grep -q '^Zephyrix ' || fail "zephyrix --version"
/usr/bin/zephyrix-render --version | grep -q '^zephyrix-render ' || fail "zephyrix-render --version"
# Images made for containers may leave manual pages out of every package.
if grep -qs '^path-exclude=/usr/share/man/' /etc/dpkg/dpkg.cfg.d/*; then
  echo "dpkg leaves out manual pages here: skipping man -w"
else
  [ "$(man -w zephyrix)" = /usr/share/man/man1/zephyrix.1.gz ] || fail "man -w zephyrix"
  [ "$(man -w zephyrix-render)" = /usr/share/man/man1/zephyrix-render.1.gz ] ||
    fail "man -w zephyrix-render"
fi

dpkg -L zephyrix >"$work/files"
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq zephyrix >/dev/null
installed=""
dpkg -s zephyrix >/dev/null 2>&1 && fail "zephyrix is still known to dpkg"
# What is left may only be a folder other packages still fill.
while read -r path; do
  if [ -e "$path" ] && ! { [ -d "$path" ] && [ -n "$(ls -A "$path")" ]; }; then
    fail "$path is left behind"
  fi
done <"$work/files"
echo "installed, ran and removed without a trace"
