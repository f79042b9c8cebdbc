#!/usr/bin/env bash
# The test suite built with sanitizers: "address,undefined" or "thread".
set -euo pipefail
cd "$(dirname "$0")/.."
sanitizers="${1:?usage: run-sanitized-tests.sh address,undefined|thread}"
dir="build/${sanitizers//,/-}"
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DVQ_SANITIZE="$sanitizers" -DVQ_BUILD_BENCH=OFF
cmake --build "$dir" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
# GLib and Aravis are not instrumented: their own threads are not our races.
export TSAN_OPTIONS="$TSAN_OPTIONS:suppressions=$PWD/scripts/tsan-suppressions.txt"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" --timeout 600 -LE aravis

# The Aravis (GenICam) tests, in a network namespace holding only loopback.
if ctest --test-dir "$dir" -N -L aravis | grep -q "Total Tests: [1-9]"; then
  scripts/in-loopback-netns.sh ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" --timeout 600 -L aravis
fi
