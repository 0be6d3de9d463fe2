#!/usr/bin/env bash
# Builds rentdesk and runs every test: the unit and end-to-end tests in the
# ordinary build and its Debian package (tests/package.sh), the tests again
# in a build with AddressSanitizer and UndefinedBehaviorSanitizer (any report
# fails), then the fuzz target's kept findings and a bounded fuzzing run
# (RENTDESK_FUZZ_SECONDS, default 60), then one short round of the benchmark
# (built in build-bench; nothing timed), and last the Windows build with its
# tests under wine.
# Stops at the first failure and ends with the count of tests passed.
set -euo pipefail
cd "$(dirname "$0")/.."
log=$(mktemp)
trap 'rm -f "$log"' EXIT
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2 | tee -a "$log"
tests/package.sh build | tee -a "$log"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DRENTDESK_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j2
ctest --test-dir build-sanitize --output-on-failure -j2 | tee -a "$log"
unset ASAN_OPTIONS UBSAN_OPTIONS
tests/fuzz/run_fuzz.sh "${RENTDESK_FUZZ_SECONDS:-60}" | tee -a "$log"
cmake -S . -B build-bench -DRENTDESK_BENCH=ON >/dev/null
cmake --build build-bench -j2 --target rentdesk_bench
ctest --test-dir build-bench --output-on-failure -R '^bench\.' | tee -a "$log"
# One wine server for the Windows stage, in a prefix of its own, warmed
# before the tests are discovered at build time, stopped at the end.
export WINEPREFIX=$PWD/build-win/wine WINEDEBUG=-all
mkdir -p "$WINEPREFIX" && wineserver -p && wineboot -i >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null; rm -f "$log"' EXIT
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake >/dev/null
cmake --build build-win -j2
ctest --test-dir build-win --output-on-failure -j2 | tee -a "$log"
(cd build-win && cpack >/dev/null)
sed -nE 's/^100% tests passed, 0 tests failed out of ([0-9]+)$/\1/p
         s/^package: ([0-9]+) checks passed$/\1/p' "$log" |
    awk '{ n += $1 } END { print n " passed, 0 failed" }'
