#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and UndefinedBehaviorSanitizer (preset fuzz,
# build-fuzz/) and runs each for the given number of seconds (default 60), starting from fuzz/corpus/<target>/.
# New inputs go to build-fuzz/corpus/<target>/ (the seed corpus stays as committed); a crash leaves its input
# in build-fuzz/findings/ and makes the script fail.
# Usage: scripts/fuzz.sh [seconds-per-target] [target ...]     (targets: hex_line image_file worker_replies)
#        scripts/fuzz.sh 5     a short run that keeps the targets building and running
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(hex_line image_file worker_replies)

scripts/deps.sh clang libclang-rt-14-dev

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]/#/fuzz_}"

mkdir -p build-fuzz/findings
status=0
for target in "${targets[@]}"; do
  work=build-fuzz/corpus/$target
  mkdir -p "$work"
  log=build-fuzz/findings/$target.log
  echo "== $target: ${seconds}s"
  if ! build-fuzz/bin/fuzz_$target "$work" "fuzz/corpus/$target" -max_total_time="$seconds" \
      -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix=build-fuzz/findings/"$target"- >"$log" 2>&1; then
    status=1
    echo "!! $target found a problem; see $log and build-fuzz/findings/$target-*"
    grep -E "property violated|ERROR|runtime error" "$log" | head -5 || true
  fi
  grep -E "stat::number_of_executed_units|stat::new_units_added" "$log" | sed "s/^/   $target /" || true
done
exit $status
