#!/usr/bin/env bash
# Footprint and speed of Discora.exe beside a minimal tray program of our
# own (bench/reference/reftray.c), under 32-bit Wine and Xvfb. Builds the
# windows-release preset, sets up a private Wine prefix in build/bench/ and
# prints one Markdown table. BENCH_QUICK=1 makes a short smoke run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

# The benchmark needs the reference program, its own helper, and the stand-in
# emulator and test MCI driver of the end-to-end tests.
cmake --preset windows-release -DDISCORA_BENCH_PROGRAMS=ON -DDISCORA_E2E_PROGRAMS=ON >/dev/null
cmake --build --preset windows-release

exec python3 bench/bench.py
