#!/usr/bin/env bash
# The main job: builds the updater and the logger simulator (preset dev, build-dev/), starts a simulated
# Vantrel on a pseudo-terminal and updates it with the console front end, showing the report and the
# verdict.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh

cmake --preset dev >/dev/null
cmake --build --preset dev --target vantrel-sim vantrel-update-cli

workdir=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$workdir"' EXIT
build-dev/bin/vantrel-sim "$@" >"$workdir/sim.out" 2>"$workdir/sim.err" &
sim=$!
for _ in $(seq 50); do
  [ -s "$workdir/sim.out" ] && break
  sleep 0.1
done
port=$(head -n 1 "$workdir/sim.out")
echo "Simulated Vantrel logger on $port"
status=0
build-dev/bin/vantrel-update-cli --port "$port" --yes || status=$?
echo "vantrel-update-cli exit status: $status"
exit "$status"
