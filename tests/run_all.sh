#!/usr/bin/env bash
# Builds rentdesk and runs every test: the unit and end-to-end tests in the
# ordinary build and its Debian package (tests/package.sh), the tests again
# in a build with AddressSanitizer and UndefinedBehaviorSanitizer (any report
# fails), then the fuzz target's kept findings and a bounded fuzzing run
# (RENTDESK_FUZZ_SECONDS, default 60), then one short round of the benchmark
# (built in build-bench; nothing timed), and last the Windows build with its
# tests under wine.
# First the packages the tests need: root installs what is missing, another
# user is told what to install and the script exits with status 2.
# Builds use as many jobs as the machine has cores. Scratch files go to
# build/tmp, wine's prefix and scratch files to build-win/wine: nothing is
# written outside the source folder and the build folders, but for the fuzz
# target's scratch folder in memory, which it removes.
# Stops at the first failure and ends with the time of each stage and the
# count of tests passed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/packages.sh test
jobs=$(nproc)
export TMPDIR=$PWD/build/tmp PYTHONDONTWRITEBYTECODE=1 RENTDESK_BENCH_DIR=$PWD/build/tmp
mkdir -p "$TMPDIR"
log=$(mktemp) times=() started=$SECONDS
trap 'rm -f "$log"' EXIT
stage() { times+=("$(printf '%-28s %4ds' "$1" $((SECONDS - started)))"); started=$SECONDS; }

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRENTDESK_REQUIRE_TESTS=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --no-tests=error --output-on-failure -j"$jobs" | tee -a "$log"
stage "1 build/ and its tests"
tests/package.sh build | tee -a "$log"
stage "2 the Debian package"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DRENTDESK_SANITIZE=ON -DRENTDESK_REQUIRE_TESTS=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
ctest --test-dir build-sanitize --no-tests=error --output-on-failure -j"$jobs" | tee -a "$log"
unset ASAN_OPTIONS UBSAN_OPTIONS
stage "3 build-sanitize/"
tests/fuzz/run_fuzz.sh "${RENTDESK_FUZZ_SECONDS:-60}" | tee -a "$log"
stage "4 fuzzing"
cmake -S . -B build-bench -DRENTDESK_BENCH=ON >/dev/null
cmake --build build-bench -j"$jobs" --target rentdesk_bench
ctest --test-dir build-bench --no-tests=error --output-on-failure -R '^bench\.' | tee -a "$log"
stage "5 the benchmark's round"
# One wine server for the Windows stage, in a prefix of its own, warmed
# before the tests are discovered at build time, stopped at the end; its
# surroundings as CMake sets them for wine.
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DRENTDESK_REQUIRE_TESTS=ON >/dev/null
. build-win/wine/env
wineserver -p && wineboot -i >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null; rm -f "$log"' EXIT
cmake --build build-win -j"$jobs"
ctest --test-dir build-win --no-tests=error --output-on-failure -j"$jobs" | tee -a "$log"
(cd build-win && cpack >/dev/null)
stage "6 build-win/ under wine"
printf '%s\n' "${times[@]}"
sed -nE 's/^100% tests passed, 0 tests failed out of ([0-9]+)$/\1/p
         s/^package: ([0-9]+) checks passed$/\1/p' "$log" |
    awk '{ n += $1 } END { print n " passed, 0 failed" }'
