#!/usr/bin/env bash
# Builds everything and runs every test: the layer and format checks, the
# host unit tests (also under AddressSanitizer and UndefinedBehaviorSanitizer),
# the fuzz targets for a bounded time, and the end-to-end tests of the real
# Discora.exe and of its installer under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

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

echo "== Discora.exe and its packages (installer, zip) for 32-bit Windows"
cmake --preset windows-release >/dev/null
cmake --build --preset windows-release --target package

echo "== end-to-end tests under Wine"
# Debian's own Python, which has pytest; another python3 may come first on PATH.
/usr/bin/python3 -m pytest -q -n 2 tests/e2e
