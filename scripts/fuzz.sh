#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build/fuzz and runs each for a bounded time
# on a copy of its seed corpus, so the repository is never written to.
#
#   FUZZ_SECONDS   seconds per target (default 20; 0 runs the seed corpus only)
#   FUZZ_TARGETS   the targets to run (default: all of them)
#
# Prints one line per target and exits non-zero when any target crashed or
# found an input that breaks one of its properties. The input is then saved
# in build/fuzz/artifacts/<target>/ and the log in build/fuzz/logs/<target>.log;
# reproduce with: build/fuzz/<target> <file>
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-20}"
targets="${FUZZ_TARGETS:-fuzz_bool_text fuzz_disc_header fuzz_filter fuzz_launch_text fuzz_registry_text fuzz_tooltip}"
case "$seconds" in
  ''|*[!0-9]*) echo "fuzz: FUZZ_SECONDS must be a whole number of seconds" >&2; exit 2 ;;
esac

build=build/fuzz
cxx="${FUZZ_CXX:-clang++}"
if ! command -v "$cxx" >/dev/null; then
  echo "fuzz: $cxx not found; run scripts/setup.sh as root" >&2
  exit 2
fi

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
# Reuse an existing build directory only when it was configured the same way.
if [ -f "$build/CMakeCache.txt" ] && ! grep -q "^CMAKE_HOME_DIRECTORY:INTERNAL=$PWD/tests/fuzz\$" "$build/CMakeCache.txt"; then
  rm -rf "$build"
fi
cmake -S tests/fuzz -B "$build" "${generator[@]}" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$build" --parallel 2 >/dev/null

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

failed=0
for target in $targets; do
  seeds="tests/fuzz/corpus/$target"
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  log="$build/logs/$target.log"
  if [ ! -x "$build/$target" ] || [ ! -d "$seeds" ]; then
    echo "$target: FAILED (no such target or no seed corpus)"
    failed=1
    continue
  fi
  rm -rf "$corpus" "$artifacts"
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  cp -R "$seeds/." "$corpus/"

  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048
           -print_final_stats=1 -artifact_prefix="$artifacts/")
  [ "$seconds" = 0 ] && options+=(-runs=0)
  [ -f "tests/fuzz/$target.dict" ] && options+=(-dict="tests/fuzz/$target.dict")

  start=$(date +%s)
  status=0
  "$build/$target" "${options[@]}" "$corpus" >"$log" 2>&1 || status=$?
  elapsed=$(( $(date +%s) - start ))

  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  inputs=$(find "$corpus" -type f | wc -l)
  if [ "$status" = 0 ]; then
    echo "$target: ok, ${elapsed} s, ${runs:-?} runs, ${rate:-?} exec/s, $inputs corpus inputs"
  else
    failed=1
    reproducer=$(find "$artifacts" -type f | head -n 1)
    property=$(grep -m 1 -E '^PROPERTY FAILED|^==[0-9]+==ERROR|runtime error' "$log" || true)
    shown=$(grep -m 1 '^  input (' "$log" | sed 's/^  //' || true)
    echo "$target: FAILED after ${elapsed} s (exit $status): ${property:-see log}${shown:+; $shown}; saved: ${reproducer:-nothing}; log: $log"
  fi
done
exit "$failed"
