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

# JSON Lines: one event a line, the start event first, the exit event last.
"$bin/vantrel-update-cli" --port "$port" --yes --json >"$work/json.out" 2>/dev/null
check "json update" 0 $? '"code":0,"name":"ncDone","value":0}' "$work/json.out" \
  '"event":"progress"' "$work/json.out"
head -n 1 "$work/json.out" | grep -q '^{"event":"start",.*"schema":1' || { echo "FAIL json: start event not first"; failures=$((failures + 1)); }
tail -n 1 "$work/json.out" | grep -q '^{"event":"exit",.*"status":0,"failure":null' || { echo "FAIL json: exit event not last"; failures=$((failures + 1)); }

# The listings as JSON documents.
"$bin/vantrel-update-cli" --list-ports --json >"$work/ports.json" 2>/dev/null
check "port list in JSON" 0 $? '{"schema":1,"ports":[' "$work/ports.json"

# --timeout on a line at 9600 baud: the job is cancelled a few seconds in, mid-programming, and the
# logger waits in its bootloader for the next job.
start_sim --paced
"$bin/vantrel-update-cli" --port "$port" --yes --timeout 4 --log "$work/timeout.log" >"$work/timeout.out" 2>"$work/timeout.err"
check "time limit" 124 $? "Process cancelled!" "$work/timeout.out" "did not finish within 4 s" "$work/timeout.err" \
  " status=124 " "$work/timeout.log"
kill "${sims[-1]}"; wait "${sims[-1]}" 2>/dev/null

# A logger behind a USB converter that holds its answers back for 16 ms.
start_sim --usb-latency 16
"$bin/vantrel-update-cli" --port "$port" --yes >"$work/latency.out" 2>&1
check "update through a slow converter" 0 $? "succesfully completed." "$work/latency.out"

# A port named by a stable link, as udev keeps one under /dev/serial/by-id for each adapter.
mkdir -p "$work/serial/by-id"
by_id="$work/serial/by-id/usb-Velmora_Vantrel_USB_A10K3X9Q-if00-port0"
start_sim --link "$by_id"
"$bin/vantrel-update-cli" --port "$by_id" --yes >"$work/by-id.out" 2>&1
check "port named by its by-id link" 0 $? "-> Start at serial port \"$by_id\"" "$work/by-id.out" \
  "succesfully completed." "$work/by-id.out"

# Waiting for the port: one that appears meanwhile (its link made when the logger is plugged in), and one
# that never does.
late="$work/serial/by-id/usb-Velmora_Vantrel_USB_LATE-if00-port0"
"$bin/vantrel-update-cli" --port "$late" --yes --wait-for-port 60 >"$work/late.out" 2>&1 &
cli=$!
sleep 1
start_sim --link "$late"
wait "$cli"
check "port that appears during the wait" 0 $? "succesfully completed." "$work/late.out"
"$bin/vantrel-update-cli" --port "$work/never" --yes --wait-for-port 1 >"$work/never.out" 2>"$work/never.err"
check "port that never appears" 10 $? "did not appear within 1 s" "$work/never.err" \
  "is not ready!" "$work/never.out"

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

# A port held by another program: busy, with the holder named in full (longer than the kernel's
# 15-character process name).
start_sim
exec 9<>"$port"
flock -n 9 || true
cp "$(command -v sleep)" "$work/vantrel-port-holder-long-name"
"$work/vantrel-port-holder-long-name" 30 &
holder=$!
exec 9>&-
"$bin/vantrel-update-cli" --port "$port" --yes >"$work/busy.out" 2>"$work/busy.err"
status=$?
kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null
check "busy port" 10 $status "busy" "$work/busy.err" "vantrel-port-holder-long-name (pid $holder)" "$work/busy.err"

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

# Signals at each phase of a job, as a terminal, `timeout` or a service manager sends them. Each row: a
# fresh logger, the phase (a line of the report, or the moment the updater listens for signals), the
# signals (a number: seconds to wait first), the exit status, and the logger's class when the next job meets it (51202: left in its
# bootloader; 26145: an application runs; "-": not looked at), and what the output says beside the verdict.
wait_for() {
  for _ in $(seq 800); do grep -qF -- "$1" "$2" 2>/dev/null && return 0; sleep 0.025; done
  return 1
}
listening() {
  local mask
  for _ in $(seq 800); do
    mask=$(awk '/^SigCgt/ {print $2}' "/proc/$1/status" 2>/dev/null)
    [ -n "$mask" ] && (( (16#$mask >> 1) & 1 )) && return 0
    sleep 0.002
  done
  return 1
}
signal_rows=(
  "signal before the job starts||-|TERM|20|26145"
  "SIGHUP while programming||Progress 5%|HUP|20|51202"
  "SIGINT and SIGTERM at once while programming||Progress 5%|INT TERM|20|51202"
  "SIGINT during the programming-error repeats|--fault wrong-echo:7:always|Repeat because programming error!|INT|20|51202"
  # The vector-table record and the start request take a few milliseconds after the report line; the
  # wait after them, 4000 ms.
  "SIGINT in the wait after the start request||Vector table is programmed.|1 INT|20|26145|whether it runs was not checked"
  "a second SIGINT a second later ends at once||Vector table is programmed.|1 INT 1.2 INT|130|-"
)
for row in "${signal_rows[@]}"; do
  IFS='|' read -r name sim_options phase signals expected next_class said <<<"$row"
  # shellcheck disable=SC2086
  start_sim $sim_options
  out="$work/signal.out"
  "$bin/vantrel-update-cli" --port "$port" --yes >"$out" 2>&1 &
  cli=$!
  if [ "$phase" = "-" ]; then listening "$cli"; else wait_for "$phase" "$out"; fi
  for s in $signals; do
    case $s in [0-9]*) sleep "$s" ;; *) kill -"$s" "$cli" ;; esac
  done
  wait "$cli"
  status=$?
  # A second signal still says how the program ended, and what the job last reported.
  if [ "$expected" = 20 ]; then check "$name" 20 $status "Process cancelled!" "$out" ${said:+"$said" "$out"}; else
    check "$name" "$expected" $status "ended at once by a second signal" "$out" \
      "the job's last report: Vector table is programmed." "$out"; fi
  if [ "$next_class" != "-" ]; then
    "$bin/vantrel-update-cli" --port "$port" --yes --max-restarts 0 >"$work/next.out" 2>&1
    class=$(grep -m 1 -o 'Class [0-9]*' "$work/next.out")
    check "$name: logger afterwards" "Class $next_class" "$class"
  fi
done

# The same with --json: the exit event is still the last line.
start_sim
"$bin/vantrel-update-cli" --port "$port" --yes --json >"$work/signal.json" 2>/dev/null &
cli=$!
wait_for "Vector table is programmed." "$work/signal.json"
sleep 1; kill -INT "$cli"; sleep 1.2; kill -INT "$cli"
wait "$cli"
check "a second SIGINT in JSON" 130 $?
tail -n 1 "$work/signal.json" | grep -q '^{"event":"exit","time":"[^"]*","status":130,"failure":"signal","reason":null,"detail":"ended at once' ||
  { echo "FAIL a second SIGINT in JSON: no exit event last"; failures=$((failures + 1)); }

# Several loggers at once, each updated by a process of its own: a line per port as each ends, a table,
# and the status of the first port on the command line that failed; in JSON every event carries its port.
start_sim; p1=$port
start_sim --platform 23; p2=$port
start_sim; p3=$port
"$bin/vantrel-update-cli" --port "$p1" --port "$p2" --port "$p3" --yes >"$work/many.out" 2>"$work/many.err"
check "three loggers at once" 47 $? "$p1: Update Vantrel Base V1.06 succesfully completed. (status 0)" "$work/many.out" \
  "$p3: Update Vantrel Base V1.06 succesfully completed. (status 0)" "$work/many.out" "port " "$work/many.out"
grep -q "^$p2 *47 " "$work/many.out" || { echo "FAIL three loggers at once: no table row for $p2"; failures=$((failures + 1)); }
"$bin/vantrel-update-cli" --port "$p1" --port "$p3" --yes --json >"$work/many.json" 2>/dev/null
check "two loggers in JSON" 0 $? "{\"event\":\"exit\",\"port\":\"$p1\"" "$work/many.json" \
  "{\"event\":\"exit\",\"port\":\"$p3\"" "$work/many.json"
[ "$(grep -c '^{"event":"exit","port":"[^"]*","time":"[^"]*","status":0,' "$work/many.json")" = 2 ] &&
  [[ "$(tail -n 1 "$work/many.json")" == '{"event":"exit","time":'*'"status":0,'* ]] ||
  { echo "FAIL two loggers in JSON: an exit event a logger, then the run's own"; failures=$((failures + 1)); }
ln -s "$p1" "$work/p1-link"
"$bin/vantrel-update-cli" --port "$p1" --port "$work/p1-link" --yes >/dev/null 2>"$work/twice.err"
check "one logger under two names" 2 $? "are the same port" "$work/twice.err"

# SIGINT to the console cancels every logger's job; each is left in its bootloader.
start_sim --paced; p1=$port
start_sim --paced; p2=$port
"$bin/vantrel-update-cli" --port "$p1" --port "$p2" --yes >"$work/many-cancel.out" 2>&1 &
cli=$!
sleep 3
kill -INT "$cli"
wait "$cli"
check "SIGINT cancels every logger" 20 $? "$p1: Process cancelled! (status 20)" "$work/many-cancel.out" \
  "$p2: Process cancelled! (status 20)" "$work/many-cancel.out"

# The parent ended by a signal it cannot pass on (no core files here): every child cancels its job as on a
# first signal and ends within a second or so, no child left to the system, and the next job finds the
# logger free and in its bootloader.
for sig in KILL SEGV QUIT; do
  start_sim; p1=$port
  start_sim; p2=$port
  (ulimit -c 0; exec "$bin/vantrel-update-cli" --port "$p1" --port "$p2" --yes --json >"$work/orphans.json" 2>/dev/null) &
  cli=$!
  wait_for '"event":"progress"' "$work/orphans.json"
  kids=$(pgrep -P "$cli")
  kill -"$sig" "$cli"
  wait "$cli" 2>/dev/null
  for _ in $(seq 400); do
    left=""
    for kid in $kids; do kill -0 "$kid" 2>/dev/null && left="$left $kid"; done
    [ -z "$left" ] && break
    sleep 0.025
  done
  check "parent ended by SIG$sig: children running" "" "$left"
  for p in "$p1" "$p2"; do
    "$bin/vantrel-update-cli" --port "$p" --yes --max-restarts 0 >"$work/next.out" 2>&1
    class=$(grep -m 1 -o 'Class [0-9]*' "$work/next.out")
    check "parent ended by SIG$sig: logger afterwards" "Class 51202" "$class"
  done
done

# A second SIGINT a second later ends the run at once, the parent too: its own exit event last, one line on
# stderr naming the ports still running. The first job is in the 4000 ms wait after the start request,
# which a Cancel does not shorten.
start_sim; p1=$port
start_sim; p2=$port
"$bin/vantrel-update-cli" --port "$p1" --port "$p2" --yes --json >"$work/many-second.json" 2>"$work/many-second.err" &
cli=$!
wait_for "Vector table is programmed." "$work/many-second.json"
sleep 0.5; kill -INT "$cli"; sleep 1.2; kill -INT "$cli"
wait "$cli"
# Which of the two is still running depends on how far the other got; one of them at least.
check "a second SIGINT to several loggers" 130 $? "ended at once by a second signal" "$work/many-second.err" \
  "still running then: /" "$work/many-second.err"
tail -n 1 "$work/many-second.json" | grep -q '^{"event":"exit","time":"[^"]*","status":130,"failure":"signal","reason":null,"detail":"ended at once' ||
  { echo "FAIL a second SIGINT to several loggers: no exit event of the run last"; failures=$((failures + 1)); }

# Output faults: the job runs on to its verdict, and stderr says the report is incomplete.
start_sim
"$bin/vantrel-update-cli" --port "$port" --yes --json 2>"$work/pipe.err" | head -n 1 >/dev/null
check "reader closes the pipe" 0 "${PIPESTATUS[0]}" "the job ran on to its end" "$work/pipe.err"
"$bin/vantrel-update-cli" --port "$port" --yes >/dev/full 2>"$work/full-device.err"
check "full device" 0 $? "the job ran on to its end" "$work/full-device.err" 
"$bin/vantrel-update-cli" --help >/dev/full 2>/dev/null
check "help to a full device" 1 $?
"$bin/vantrel-update-cli" --list-images >/dev/full 2>/dev/null
check "image list to a full device" 1 $?

# A log on a full disk: the job ends verified, and the lost log is told.
start_sim
"$bin/vantrel-update-cli" --port "$port" --yes --log /dev/full >/dev/null 2>"$work/full-log.err"
check "log on a full disk" 0 $? "the log file /dev/full could not be written" "$work/full-log.err"

# /dev/tty without a controlling terminal: the system's reason, and nothing started.
setsid -w "$bin/vantrel-update-cli" --port "$port" --yes --log /dev/tty </dev/null >/dev/null 2>"$work/no-tty.err"
check "log on /dev/tty without a terminal" 2 $? "cannot write the log file /dev/tty: No such device or address" "$work/no-tty.err"

# A usage error the parser finds ends JSON Lines with the exit event too.
"$bin/vantrel-update-cli" --json --port a --port a >"$work/usage.out" 2>/dev/null
check "usage error in JSON" 2 $? '"status":2,"failure":"usage"' "$work/usage.out"
[ "$(wc -l <"$work/usage.out")" = 2 ] || { echo "FAIL usage error in JSON: $(cat "$work/usage.out")"; failures=$((failures + 1)); }

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
