#!/usr/bin/env bash
# Builds rentdesk and runs every test: the unit tests and the end-to-end
# sessions on the real program, first in the ordinary build, then once more
# in a build with AddressSanitizer and UndefinedBehaviorSanitizer, where any
# report fails the run; last the fuzz targets replay their kept findings and
# fuzz for a bounded time (RENTDESK_FUZZ_SECONDS, default 60, per target).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
passed=0

# Runs ctest in a build folder and adds its count of tests to passed.
run_ctest() {
    local out
    out=$(mktemp)
    if ! ctest --test-dir "$1" --output-on-failure -j"$jobs" "${@:2}" 2>&1 | tee "$out"; then
        rm -f "$out"
        return 1
    fi
    local count
    count=$(sed -nE 's/^100% tests passed, 0 tests failed out of ([0-9]+)$/\1/p' "$out")
    rm -f "$out"
    [ -n "$count" ] || return 1
    passed=$((passed + count))
}

echo "== ordinary build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
run_ctest build

echo "== sanitizer build"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DRENTDESK_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
run_ctest build-sanitize
unset ASAN_OPTIONS UBSAN_OPTIONS

echo "== fuzzing"
if ! command -v clang++ >/dev/null; then
    echo "clang++ is missing: apt-get install clang libclang-rt-14-dev" >&2
    exit 1
fi
tests/fuzz/run_fuzz.sh "${RENTDESK_FUZZ_SECONDS:-60}"
fuzz_tests=$(ctest --test-dir build-fuzz -L fuzz -N | sed -nE 's/^Total Tests: ([0-9]+)$/\1/p')
passed=$((passed + fuzz_tests))

echo
echo "$passed passed, 0 failed"
