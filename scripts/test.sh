#!/usr/bin/env bash
# Builds everything and runs every test: the set-up's own test, the layer and
# format checks, the
# host unit tests (also under AddressSanitizer and UndefinedBehaviorSanitizer),
# the fuzz targets for a bounded time, both Windows builds (x86 and x64) with
# their packages, checksums and manifests, the proof that the packages are
# reproducible (scripts/reproduce.sh), and the end-to-end tests of the real
# Discora.exe and of its installer under Wine: the x64 build under 64-bit
# Wine on every x86-64 machine, the x86 build under 32-bit Wine where the
# machine runs 32-bit programs and 32-bit Wine could be installed (some
# kernels run none, and some machines cannot install it; the run then says so,
# and the x64 run's cases that start the x86 installer are reported as not run).
#
#   bash scripts/test.sh               everything
#   bash scripts/test.sh --arch x64    the end-to-end tests of one build only
set -euo pipefail
cd "$(dirname "$0")/.."

only=
case "${1:-}" in
  "") ;;
  --arch) only=${2:-}; [ "$only" = x86 ] || [ "$only" = x64 ] || {
      echo "usage: bash scripts/test.sh [--arch x86|x64]" >&2; exit 2; } ;;
  *) echo "usage: bash scripts/test.sh [--arch x86|x64]" >&2; exit 2 ;;
esac

bash scripts/setup.sh
. scripts/arch.sh

echo "== the set-up's decisions (stand-in package tools)"
/usr/bin/python3 -m pytest -q tests/setup

echo "== layers and format"
python3 scripts/check_layers.py
bash scripts/check_format.sh

echo "== host unit tests"
cmake --preset host >/dev/null
cmake --build --preset host
ctest --preset host

echo "== host unit tests under ASan and UBSan"
cmake --preset host-sanitize >/dev/null
cmake --build --preset host-sanitize
ctest --preset host-sanitize

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzz targets"
  bash scripts/fuzz.sh
fi

# Both builds are made on every machine, and their files are checked
# (tests/e2e/test_resources.py) whichever one runs.
for arch in x86 x64; do
  use_arch "$arch"
  echo "== Discora.exe and its packages (installer, zip): $arch ($preset)"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target package
done

echo "== the files beside the packages: SHA256SUMS, the winget and Scoop manifests"
/usr/bin/python3 -m pytest -q tests/packages

echo "== reproducible packages: the last commit built twice"
bash scripts/reproduce.sh

# Which builds this machine can run end to end.
ran=()
notes=()
for arch in x86 x64; do
  [ -z "$only" ] || [ "$only" = "$arch" ] || continue
  if [ "$arch" = x86 ] && why=$(why_no_x86) && [ -n "$why" ]; then
    while read -r reason; do notes+=("x86: not run: $reason"); done <<<"$why"
    continue
  fi
  echo "== end-to-end tests under Wine: $arch"
  # Debian's own Python, which has pytest; another python3 may come first on PATH.
  /usr/bin/python3 -m pytest -q -rs -n 2 tests/e2e --arch "$arch"
  ran+=("$arch")
done

echo "== end-to-end runs"
for arch in "${ran[@]}"; do echo "$arch: passed"; done
for note in "${notes[@]}"; do echo "$note"; done
if [ ${#ran[@]} -eq 0 ]; then
  echo "no end-to-end run was possible on this machine" >&2
  exit 1
fi
