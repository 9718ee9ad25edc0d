#!/usr/bin/env bash
# Footprint and speed of Discora.exe beside a minimal tray program of our
# own (bench/reference/reftray.c) and the floor of the insertion-to-launch
# time (bench/reference/reffloor.c), both built for the same architecture,
# under Wine and Xvfb: the x86 build under 32-bit Wine where this machine runs 32-bit
# programs and has 32-bit Wine, and the x64 build under 64-bit Wine on every x86-64 machine. For
# each, it builds the preset, sets up a private Wine prefix in
# build/bench/<arch>/ and prints one Markdown table. BENCH_QUICK=1 makes a
# short smoke run; BENCH_ARCH=x86 or x64 measures one build only.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
. scripts/arch.sh

arches=()
if [ -n "${BENCH_ARCH:-}" ]; then
  arches=("$BENCH_ARCH")
else
  why=$(why_no_x86)
  if [ -z "$why" ]; then
    arches+=(x86)
  else
    echo "bench: x86 not measured: ${why//$'\n'/; }" >&2
  fi
  arches+=(x64)
fi

for arch in "${arches[@]}"; do
  use_arch "$arch" || exit 2
  # The benchmark needs the reference programs, its own helper, and the
  # stand-in emulator and test MCI driver of the end-to-end tests.
  cmake --preset "$preset" -DDISCORA_BENCH_PROGRAMS=ON -DDISCORA_E2E_PROGRAMS=ON >/dev/null
  cmake --build --preset "$preset"
  DISCORA_ARCH=$arch python3 bench/bench.py
done
