#!/usr/bin/env bash
# Builds an optimised tree into build-bench/ and runs the benchmarks of bench/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_QT=OFF
cmake --build build-bench -j "$(nproc)" --target vantrel_bench vantrel-sim vantrel-update-cli
build-bench/bin/vantrel_bench "$@"
