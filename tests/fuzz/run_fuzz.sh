#!/usr/bin/env bash
# Builds fuzz_counter with clang in build-fuzz, replays the kept findings
# (regressions/) and the seeds (corpus/), then fuzzes for SECONDS (default 60).
# Exits non-zero on a finding; the input is left in build-fuzz/tests/fuzz/findings/
# and, once fixed, belongs in tests/fuzz/regressions/fuzz_counter/.
#   tests/fuzz/run_fuzz.sh [SECONDS]
set -eu
cd "$(dirname "$0")/../.."
seconds=${1:-60}
[[ $seconds =~ ^[0-9]+$ ]] || { echo "usage: tests/fuzz/run_fuzz.sh [SECONDS]" >&2; exit 2; }
CXX=${CXX:-clang++} cmake -S . -B build-fuzz -DRENTDESK_FUZZ=ON -DRENTDESK_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_counter
rm -f build-fuzz/tests/fuzz/findings/*
ctest --test-dir build-fuzz -L fuzz -j"$(nproc)" --no-tests=error --output-on-failure
