#!/usr/bin/env bash
# Installs what building, running and testing Discora needs on Debian (run as root).
# Safe to run again: it installs only what is missing.
#
# Both builds are made everywhere: the x86 Discora.exe with mingw-w64 i686 and
# the x64 one with mingw-w64 x86_64. 64-bit Wine (started by its own loader,
# /usr/lib/wine/wine64) runs the x64 build on every x86-64 machine; 32-bit
# Wine runs the x86 build where it can be installed and the kernel runs 32-bit
# programs.
#
# Nothing but a package that is needed and missing at the end stops it: a
# package list that cannot be refreshed (a mirror caught mid-sync) is reported
# and the lists there are serve, and 32-bit Wine, which only the x86 build's
# end-to-end run needs, is tried on its own after the rest. Where it cannot be
# installed the x86 build is still made, and scripts/test.sh and
# scripts/run.sh say that it is not run here.
set -euo pipefail

required=(
  cmake ninja-build make g++ googletest
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-tools
  wine wine64
  xvfb x11-utils xdotool imagemagick
  clang libclang-rt-14-dev clang-format
  python3 python3-yaml icoutils
  python3-pytest python3-pytest-xdist
  nsis
)
wine32=wine32:i386

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing_of() {
  local p
  for p in "$@"; do installed "$p" || echo "$p"; done
}

mapfile -t missing < <(missing_of "${required[@]}")
want_wine32=0
installed "$wine32" || want_wine32=1
have_i386=$(dpkg --print-foreign-architectures | grep -cx i386 || true)

if [ ${#missing[@]} -eq 0 ] && [ "$want_wine32" = 0 ]; then exit 0; fi

if [ "$(id -u)" != 0 ]; then
  if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: missing packages (${missing[*]}); run this script as root" >&2
    exit 1
  fi
  echo "setup: 32-bit Wine ($wine32) is not installed; run this script as root to try it"
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine comes from the i386 architecture's packages.
if [ "$want_wine32" = 1 ] && [ "$have_i386" = 0 ]; then
  dpkg --add-architecture i386 || echo "setup: the i386 architecture could not be added"
fi

# A list that fails (say "File has unexpected size ... Mirror sync in
# progress?") makes apt-get exit non-zero though the others were refreshed.
if ! apt-get update -qq >/dev/null 2>&1; then
  echo "setup: some package lists could not be refreshed (the mirror may be mid-sync);" \
    "installing from the lists there are"
fi

if [ ${#missing[@]} -gt 0 ]; then
  # All at once; when that fails, one at a time, so that one package that
  # cannot be had keeps none of the others out.
  if ! apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
    for p in "${missing[@]}"; do
      apt-get install -y -qq --no-install-recommends "$p" || true
    done
  fi
fi

if [ "$want_wine32" = 1 ]; then
  if ! apt-get install -y -qq --no-install-recommends "$wine32" >/dev/null 2>&1; then
    echo "setup: 32-bit Wine ($wine32) could not be installed here;" \
      "the x86 Discora.exe is built but not run under Wine"
  fi
fi

mapfile -t still < <(missing_of "${required[@]}")
if [ ${#still[@]} -gt 0 ]; then
  echo "setup: these packages could not be installed: ${still[*]}" >&2
  exit 1
fi
