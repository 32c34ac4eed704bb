#!/usr/bin/env bash
# Installs the Debian packages that building and testing Vokmark need.
# Idempotent, and silent when everything is already there.
set -euo pipefail
packages=(
  cmake make python3
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 fonts-wine fonts-liberation googletest
  xvfb imagemagick x11-apps xdotool
  zip unzip
  wixl msitools osslsigncode openssl python3-yaml
  fuse3 python3-fusepy
  clang libclang-rt-14-dev clang-tidy clang-format llvm-14
)
here=$(dirname "$(realpath "$0")")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# The 32-bit Wine for the i686 tests, beside the packages, never installed.
# The 32-bit and arm64 Wines and Zig for the ARM64 library, beside the
# packages, never installed.
others() { "$here/wine32-setup.sh" && "$here/wine-arm64-setup.sh" && "$here/zig-setup.sh"; }
[ ${#missing[@]} -eq 0 ] && { others; exit; }
echo "bootstrap: installing ${missing[*]}"
sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
# Another apt may hold its locks (several builds share a machine): wait for
# it, within bounds, and never end it.
apt_retry() {
  for attempt in 1 2 3 4 5 6; do
    "$@" && return 0
    [ "$attempt" -lt 6 ] && { echo "bootstrap: apt busy, retrying in 20 s" >&2; sleep 20; }
  done
  return 1
}
apt_retry $sudo apt-get -o DPkg::Lock::Timeout=120 update -qq
apt_retry env DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=120 install -y -qq \
  --no-install-recommends "${missing[@]}" >/dev/null
# An installed wine32 cannot run on these machines; never let it shadow
# wine64 (the 32-bit Wine of wine32-setup.sh lives in a root of its own).
if dpkg-query -W -f='${Status}' wine32 2>/dev/null | grep -q 'install ok installed'; then
  echo "bootstrap: warning: wine32 is installed; tests call /usr/lib/wine/wine64 by path" >&2
fi
others
