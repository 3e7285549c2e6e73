#!/usr/bin/env bash
# The real binaries over a pseudo-terminal: vantrel-update-cli against vantrel-sim.
# Usage: cli_e2e.sh BIN_DIR
set -uo pipefail
bin=$1
work=$(mktemp -d)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a simulated logger with the given options; sets $port.
start_sim() {
  local out="$work/sim$((${#sims[@]})).out"
  "$bin/vantrel-sim" "$@" >"$out" 2>/dev/null &
  sims+=($!)
  for _ in $(seq 100); do [ -s "$out" ] && break; sleep 0.05; done
  port=$(head -n 1 "$out")
}

source "$(dirname "$0")/../support/e2e_check.sh"

export XDG_CONFIG_HOME="$work/operator-config"

# A full update of a logger in application mode.
start_sim
"$bin/vantrel-update-cli" --port "$port" --yes >"$work/full.out" 2>"$work/full.err"
check "full update" 0 $? \
  "-> Start at serial port \"$port\"" "$work/full.out" \
  "-> Vector table is programmed." "$work/full.out" \
  "succesfully completed." "$work/full.out"

# JSON Lines: one event a line, the exit event last.
"$bin/vantrel-update-cli" --port "$port" --yes --json >"$work/json.out" 2>/dev/null
check "json update" 0 $? '{"event":"notification","code":0,"value":0}' "$work/json.out" \
  '{"event":"exit","status":0}' "$work/json.out"
[ "$(tail -n 1 "$work/json.out")" = '{"event":"exit","status":0}' ] || { echo "FAIL json: exit event not last"; failures=$((failures + 1)); }

# A file update in internal mode.
mkdir -p "$work/internal-config/Velmora"
printf '[General]\nintern=7204\n' >"$work/internal-config/Velmora/Qel.conf"
image=$(dirname "$0")/../../firmware/images/Vantrel_V1_10_PF15_PR39_BL3_0.txt
start_sim --print 39 --mode bootloader
XDG_CONFIG_HOME="$work/internal-config" "$bin/vantrel-update-cli" --port "$port" --file "$image" f:+ >"$work/file.out" 2>&1
check "file update in internal mode" 0 $? "Check Vantrel V1.10, A10e BLE UART, BL3.0" "$work/file.out" \
  "Update Vantrel V1.10 succesfully completed." "$work/file.out"

# --file outside internal mode: refused before the port is opened.
"$bin/vantrel-update-cli" --port "$port" --file "$image" f:+ >"$work/refused.out" 2>"$work/refused.err"
check "--file refused outside internal mode" 2 $? "--file needs internal mode" "$work/refused.err"

# A port that does not exist.
"$bin/vantrel-update-cli" --port /dev/vantrel-missing-port --yes >"$work/missing.out" 2>"$work/missing.err"
check "missing port" 10 $? "Aborted because serial port \"/dev/vantrel-missing-port\" is not ready!" "$work/missing.out" \
  "no such device" "$work/missing.err"

# A port held by another program: busy, with the holder named.
start_sim
exec 9<>"$port"
flock -n 9 || true
"$bin/vantrel-update-cli" --port "$port" --yes >"$work/busy.out" 2>"$work/busy.err"
status=$?
exec 9>&-
check "busy port" 10 $status "busy" "$work/busy.err"

# The logger loses its power in the middle of programming; the updater keeps restarting the job until
# SIGINT cancels it. Powered again, the logger comes back in its bootloader with what it had, and the
# next job completes the update.
start_sim --state "$work/state" --fault dead-from:200
"$bin/vantrel-update-cli" --port "$port" --yes >"$work/cancel.out" 2>&1 &
cli=$!
for _ in $(seq 200); do grep -q "Repeat update because communication error!" "$work/cancel.out" 2>/dev/null && break; sleep 0.05; done
kill -INT "$cli"
wait "$cli"
check "SIGINT cancels" 20 $? "Process cancelled!" "$work/cancel.out"
kill "${sims[-1]}"; wait "${sims[-1]}" 2>/dev/null
start_sim --state "$work/state"
"$bin/vantrel-update-cli" --port "$port" --yes >"$work/after.out" 2>&1
check "update after power loss and cancel" 0 $? "Class 51202 [BL3]" "$work/after.out" "succesfully completed." "$work/after.out"

# Without a terminal the confirmation cannot be asked: nothing is done.
"$bin/vantrel-update-cli" --port "$port" </dev/null >"$work/confirm.out" 2>"$work/confirm.err"
check "confirmation without a terminal" 2 $? "--yes" "$work/confirm.err"

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
