#!/usr/bin/env bash
# Builds the optimised tree (preset release, build-release/) and runs the benchmarks of bench/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target vantrel_bench vantrel-sim vantrel-update-cli
build-release/bin/vantrel_bench "$@"
