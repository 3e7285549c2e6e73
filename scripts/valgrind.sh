#!/usr/bin/env bash
# One end-to-end update under valgrind: vantrel-update-cli, built optimised with debug information and
# without sanitizers (preset release, build-release/), updates vantrel-sim over a pseudo-terminal. The whole
# release tree is built, so that the benchmarks keep building too. Fails on any memory error or leak valgrind reports, and when
# the update itself does not succeed.
# Usage: scripts/valgrind.sh
set -euo pipefail
cd "$(dirname "$0")/.."

command -v valgrind >/dev/null || scripts/deps.sh valgrind

cmake --preset release >/dev/null
cmake --build --preset release

bin=build-release/bin
work=$(mktemp -d)
sim=
cleanup() {
  [ -n "$sim" ] && { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

"$bin/vantrel-sim" >"$work/sim.out" 2>"$work/sim.err" &
sim=$!
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
port=$(head -n 1 "$work/sim.out")
[ -n "$port" ] || { echo "vantrel-sim gave no port"; exit 1; }

# The operator's settings are kept out of the run, so it is the plain operator mode whoever runs it.
status=0
XDG_CONFIG_HOME="$work/config" valgrind --error-exitcode=1 --leak-check=full --show-leak-kinds=all \
  --errors-for-leak-kinds=definite,indirect,possible --track-origins=yes --log-file="$work/valgrind.log" \
  "$bin/vantrel-update-cli" --port "$port" --yes >"$work/cli.out" 2>&1 || status=$?

grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|still reachable|All heap blocks" "$work/valgrind.log" || true
if [ "$status" != 0 ]; then
  echo "FAIL: exit status $status"
  cat "$work/valgrind.log" | tail -n 60
  tail -n 20 "$work/cli.out"
  exit 1
fi
grep -q "succesfully completed." "$work/cli.out" || { echo "FAIL: the update did not complete"; tail -n 20 "$work/cli.out"; exit 1; }
echo "ok: update completed under valgrind without errors or leaks"
