#!/usr/bin/env bash
# Installs what building, running and testing Discora needs on Debian (run as root).
# Safe to run again: it installs only what is missing.
#
# Both builds are made everywhere: the x86 Discora.exe with mingw-w64 i686 and
# the x64 one with mingw-w64 x86_64. Both Wines are installed: 32-bit Wine
# runs the x86 build where the kernel runs 32-bit programs, 64-bit Wine
# (started by its own loader, /usr/lib/wine/wine64) runs the x64 build on
# every x86-64 machine.
set -euo pipefail

packages=(
  cmake ninja-build make g++ googletest
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-tools
  wine wine32:i386 wine64
  xvfb x11-utils xdotool imagemagick
  clang libclang-rt-14-dev clang-format
  python3 python3-yaml icoutils
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
