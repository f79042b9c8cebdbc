#!/usr/bin/env bash
# The whole test suite: set up, build, run every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
# No folder includes from a folder above it, and the code is laid out as
# .clang-format says.
scripts/check-includes.sh
scripts/check-format.sh
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test -j"$(nproc)"
ctest --test-dir build/test --output-on-failure -j"$(nproc)" --timeout 300 -LE aravis

# The Aravis (GenICam) tests, in a network namespace holding only loopback.
if ctest --test-dir build/test -N -L aravis | grep -q "Total Tests: [1-9]"; then
  scripts/in-loopback-netns.sh ctest --test-dir build/test --output-on-failure -j"$(nproc)" --timeout 300 -L aravis
fi
