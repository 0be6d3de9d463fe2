#!/usr/bin/env bash
# Builds the two fuzz targets with clang in build-fuzz, replays the kept
# findings (tests/fuzz/regressions/) and the seeds (tests/fuzz/corpus/), then
# fuzzes each target for SECONDS (default 60). Exits non-zero on any finding.
# Needs clang and libFuzzer (Debian: apt-get install clang libclang-rt-14-dev).
#
#   tests/fuzz/run_fuzz.sh [SECONDS]
set -uo pipefail
cd "$(dirname "$0")/../.."

seconds=${1:-60}
case "$seconds" in
'' | *[!0-9]*)
  echo "usage: tests/fuzz/run_fuzz.sh [SECONDS]" >&2
  exit 2
  ;;
esac
jobs=$(nproc 2>/dev/null || echo 2)
build=build-fuzz
findings=$build/tests/fuzz/findings

CXX=${CXX:-clang++} cmake -S . -B "$build" -DRENTDESK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRENTDESK_FUZZ_SECONDS="$seconds" >/dev/null || exit 2
cmake --build "$build" -j"$jobs" --target fuzz_store fuzz_counter || exit 2

rm -f "$findings"/*
log=$build/fuzz.log
echo "Replaying the kept findings and seeds, then fuzzing each target for ${seconds}s..."
ctest --test-dir "$build" -L fuzz -j2 -V >"$log" 2>&1
status=$?

echo
echo "=== Fuzzing summary ==="
# Each test's verdict, with the number of inputs it ran.
grep -E 'Test +#[0-9]+: fuzz_' "$log" | sed -E 's/^.*Test +#([0-9]+): /\1 /' |
  while read -r num verdict; do
    runs=$(grep -E "^$num: Done [0-9]+ runs" "$log" | tail -1 | sed -E 's/^[0-9]+: Done ([0-9]+) runs.*/\1/')
    echo "  $verdict  (${runs:-?} inputs)"
  done
# What was found: the targets' own words (with their indented details) and
# the sanitizers' summaries.
sed -E 's/^[0-9]+: //' "$log" |
  awk '/^(FINDING|SUMMARY:|==[0-9]+==ERROR)/ { print "  " $0; more = /^FINDING/; next }
       more && /^  / { print "  " $0; next } { more = 0 }' | awk '!seen[$0]++'
if ls "$findings"/* >/dev/null 2>&1; then
  echo "Inputs that found something (once fixed, keep each as a regression in"
  echo "tests/fuzz/regressions/<target>/):"
  ls -1 "$findings"/* | sed 's/^/  /'
fi
if [ $status -ne 0 ]; then
  echo "FAILED: the whole output is in $log"
  exit 1
fi
echo "No findings."
