#!/usr/bin/env bash
# Installs what building, running and testing Discora needs on Debian (run as root).
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake ninja-build make g++ googletest
  g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686
  wine wine32:i386
  xvfb x11-utils xdotool imagemagick
  clang libclang-rt-14-dev clang-format
  python3 icoutils
  python3-pytest python3-pytest-xdist
  nsis
)

missing=()
have_i386=$(dpkg --print-foreign-architectures | grep -cx i386 || true)
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "$have_i386" = 0 ] || [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup: missing packages (${missing[*]}); run this script as root" >&2
    exit 1
  fi
  [ "$have_i386" = 0 ] && dpkg --add-architecture i386
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
