#!/usr/bin/env bash
# The Windows updater under Wine against the Linux simulated logger: the simulator's pseudo-terminal is
# made a COM port of the Wine prefix, the registry holds the port list and the internal-mode value.
# Usage: e2e.sh WINDOWS_BIN_DIR HOST_BIN_DIR
# WINEPREFIX must name an initialised 64-bit prefix; this script changes its COM links and registry.
set -uo pipefail
win_bin=$1
host_bin=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
: "${WINEPREFIX:?set WINEPREFIX to an initialised Wine prefix}"
export WINEDEBUG=${WINEDEBUG:--all}
cli="$win_bin/vantrel-update-cli.exe"
image="$source_dir/firmware/images/Vantrel_V1_10_PF15_PR39_BL3_0.txt"

work=$(mktemp -d)
sims=()
links=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  for link in "${links[@]}"; do rm -f "$link"; done
  wine reg delete 'HKCU\Software\Velmora' /f >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

# The registry's hardware branch is volatile: it lives only as long as the wine server, so one
# persistent server of this prefix serves the whole run.
wineserver -k >/dev/null 2>&1
wineserver -p >/dev/null 2>&1
# Ends a hung run instead of letting it hold the whole script: a full update takes a few seconds.
run_cli() { timeout 120 wine "$cli" "$@" </dev/null; }

# Starts a simulated logger with the given options and links it as COM port $1 of the prefix; sets $pts.
start_sim() {
  local com=$1
  shift
  local out="$work/sim${#sims[@]}.out"
  "$host_bin/vantrel-sim" "$@" >"$out" 2>/dev/null &
  sims+=($!)
  for _ in $(seq 100); do [ -s "$out" ] && break; sleep 0.05; done
  pts=$(head -n 1 "$out")
  local link
  link="$WINEPREFIX/dosdevices/$(echo "$com" | tr 'A-Z' 'a-z')"
  ln -sfn "$pts" "$link"
  links+=("$link")
}

source "$(dirname "$0")/../support/e2e_check.sh"

# The port list: only virtual serial ports, shown by their COM names.
serialcomm='HKLM\Hardware\DeviceMap\SerialComm'
wine reg add "$serialcomm" /v '\Device\VCP0' /t REG_SZ /d COM5 /f >/dev/null
wine reg add "$serialcomm" /v '\Device\Serial7' /t REG_SZ /d COM9 /f >/dev/null
run_cli --list-ports >"$work/ports.out" 2>"$work/ports.err"
check "list ports" 0 $? COM5 "$work/ports.out"
tr -d '\r' <"$work/ports.out" | grep -qx COM9 && { echo "FAIL list ports: COM9 is no virtual port"; failures=$((failures + 1)); }

# A full update on COM5.
start_sim COM5
run_cli --port COM5 --yes >"$work/full.out" 2>"$work/full.err"
check "full update on COM5" 0 $? \
  '-> Start at serial port "COM5"' "$work/full.out" \
  "-> Vector table is programmed." "$work/full.out" \
  "succesfully completed." "$work/full.out"

# The same JSON Lines as the Linux build, the port name and the times aside.
run_cli --port COM5 --yes --json >"$work/json.out" 2>/dev/null
check "json update" 0 $? '"event":"exit"' "$work/json.out" '"status":0,"failure":null' "$work/json.out"
"$host_bin/vantrel-update-cli" --port "$pts" --yes --json </dev/null >"$work/linux-json.out" 2>/dev/null
untimed='s/"time":"[^"]*"/"time":"T"/; s/"elapsed_s":[^,}]*/"elapsed_s":0/; s/"remaining_s":[^,}]*/"remaining_s":0/'
tr -d '\r' <"$work/json.out" | sed 's/COM5/PORT/g' | sed "$untimed" >"$work/json.cmp"
sed "s|$pts|PORT|g" "$work/linux-json.out" | sed "$untimed" >"$work/linux-json.cmp"
if ! diff -u "$work/linux-json.cmp" "$work/json.cmp" >"$work/json.diff"; then
  echo "FAIL json: differs from the Linux build's"
  head -n 20 "$work/json.diff" | sed 's/^/    /'
  failures=$((failures + 1))
else
  echo "ok   json lines equal the Linux build's"
fi

# Two-digit COM ports only open through the \\.\ path.
start_sim COM12
run_cli --port COM12 --yes >"$work/com12.out" 2>"$work/com12.err"
check "full update on COM12" 0 $? "succesfully completed." "$work/com12.out"

# Both loggers at once, each by a process of its own: a line per port as each ends, then the table.
run_cli --port COM5 --port COM12 --yes >"$work/two.out" 2>"$work/two.err"
check "two loggers at once" 0 $? "port " "$work/two.out"
for com in COM5 COM12; do
  tr -d '\r' <"$work/two.out" | grep -q "^$com: .*succesfully completed\. (status 0)\$" &&
    tr -d '\r' <"$work/two.out" | grep -q "^$com  *0  *Update .*succesfully completed\.\$" ||
    { echo "FAIL two loggers at once: no verdict line or table row for $com"; sed 's/^/    /' "$work/two.out"; failures=$((failures + 1)); }
done

# A port that does not exist.
rm -f "$WINEPREFIX/dosdevices/com7"
run_cli --port COM7 --yes >"$work/missing.out" 2>"$work/missing.err"
check "missing port" 10 $? 'Aborted because serial port "COM7" is not ready!' "$work/missing.out" \
  "no such device" "$work/missing.err"

# Internal mode from the per-user registry value: --file is refused without it and works with it.
start_sim COM6 --print 39 --mode bootloader
run_cli --port COM6 --file "$image" f:+ >"$work/refused.out" 2>"$work/refused.err"
check "--file refused in operator mode" 2 $? "--file needs internal mode" "$work/refused.err"
wine reg add 'HKCU\Software\Velmora\Qel' /v intern /t REG_DWORD /d 7204 /f >/dev/null
run_cli --port COM6 --file "$(winepath -w "$image")" f:+ >"$work/file.out" 2>&1
check "file update in internal mode" 0 $? "Update Vantrel V1.10 succesfully completed." "$work/file.out"

# Ctrl+C (Wine turns SIGINT into the console's Ctrl+C event) stops the job at its next transfer.
start_sim COM8 --paced
# The signal goes to the updater itself: wine runs the program in the process it was started as.
wine "$cli" --port COM8 --yes </dev/null >"$work/cancel.out" 2>"$work/cancel.err" &
updater=$!
for _ in $(seq 200); do grep -q "Update Vantrel" "$work/cancel.out" && break; sleep 0.05; done
kill -INT "$updater" 2>/dev/null
for _ in $(seq 600); do kill -0 "$updater" 2>/dev/null || break; sleep 0.1; done
kill -KILL "$updater" 2>/dev/null
wait "$updater"
check "ctrl+c cancels" 20 $? "Process cancelled!" "$work/cancel.out"

# Exclusive opening (share mode 0) is enforced by the Windows serial driver; Wine opens the same
# device for a second process all the same, so the check would prove nothing here.
echo "skip busy port: Wine does not enforce exclusive opening of serial ports"

if [ "$failures" -gt 0 ]; then
  echo "$failures Windows end-to-end check(s) failed"
  exit 1
fi
echo "Windows end-to-end checks passed"
