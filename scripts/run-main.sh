#!/usr/bin/env bash
# The main job: set up, build, and let the reference host grab frames from the
# simulated cameras into PNG files and print the statistics.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVQ_BUILD_TESTS=OFF -DVQ_BUILD_BENCH=OFF
cmake --build build/release -j"$(nproc)" --target cvlhost
build/release/cvlhost list
build/release/cvlhost grab --frames 30 --save 30 --output frames "$@"
