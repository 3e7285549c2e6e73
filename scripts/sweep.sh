#!/usr/bin/env bash
# The long fault sweeps: every cut of every built-in image, every byte of the chosen records, a hundred
# chains of cuts, every reply fault of every board and dense jobs up to a million injections.
# They run optimised, still under AddressSanitizer and UndefinedBehaviorSanitizer, in build-sweep-long/,
# the interruption sweep split over two processes. The everyday sample runs with the rest of the tests.
# Usage: scripts/sweep.sh [seed]      (a seed other than the default draws other samples and chains)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
[ $# -ge 1 ] && export VANTREL_SWEEP_SEED=$1
export VANTREL_SWEEP=long

cmake -S . -B build-sweep-long -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_SANITIZE=address,undefined \
  -DVANTREL_BUILD_QT=OFF -DVANTREL_BUILD_BENCH=OFF >/dev/null
cmake --build build-sweep-long -j 2 --target interruption_sweep_tests byte_fault_sweep_tests

tests=build-sweep-long/tests
logs=build-sweep-long/sweep-logs
mkdir -p "$logs"
start=$(date +%s)
pids=()
for shard in 0 1; do
  GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=$shard "$tests/interruption_sweep_tests" >"$logs/interruption-$shard.log" 2>&1 &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
"$tests/byte_fault_sweep_tests" >"$logs/byte-fault.log" 2>&1 || status=1

grep -h -E "^\[ sweep|FAILED|Failure" "$logs"/*.log || true
echo "long sweep: $(( $(date +%s) - start )) s, logs in $logs"
[ $status = 0 ] && echo "long sweep passed" || echo "long sweep FAILED"
exit $status
