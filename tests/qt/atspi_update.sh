#!/usr/bin/env bash
# The Qt window as a screen reader meets it: on a virtual X server, with a private session bus and the
# accessibility bus it starts, atspi_update.py finds the window's controls by role and name and drives a
# whole update of the simulated logger by accessible actions alone. The simulator's trace and state file
# then say whether the new firmware runs; the operator's history has the job's line.
# Usage: atspi_update.sh BIN_DIR
# Needs the Debian packages xvfb, dbus-daemon, dbus-bin, at-spi2-core and python3-pyatspi.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

missing=()
for tool in Xvfb dbus-daemon dbus-send /usr/libexec/at-spi-bus-launcher; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || missing+=(pyatspi)
if ((${#missing[@]})); then
  echo "FAIL missing ${missing[*]}: scripts/deps.sh xvfb dbus-daemon dbus-bin at-spi2-core python3-pyatspi"
  exit 1
fi

bin=$(cd "$1" && pwd)
work=$(mktemp -d)
xvfb='' bus='' sim='' app='' driver=''
stop() { [ -n "$1" ] && kill "$1" 2>/dev/null && wait "$1" 2>/dev/null; }
cleanup() {
  stop "$driver"
  stop "$app"
  stop "$sim"
  # The accessibility bus was started on demand by the session bus and ends with it; its launcher is
  # ended first all the same, so that nothing of the run outlives it.
  if [ -n "$bus" ]; then
    local launcher
    launcher=$(dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.GetConnectionUnixProcessID string:org.a11y.Bus 2>/dev/null | awk '{print $NF}')
    [ -n "$launcher" ] && kill "$launcher" 2>/dev/null
  fi
  stop "$bus"
  stop "$xvfb"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

source "$here/../support/e2e_check.sh"

source "$here/../support/virtual_display.sh"
start_virtual_display "$work" 1024x768x24 || { echo "FAIL no X display"; exit 1; }
xvfb=$virtual_display_pid

# The sockets of the buses and the toolkit in the run's own folder.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# A session bus of the run's own, a child of this script (not forked away), so that whatever ends the
# script, even a kill of its whole process tree, ends the bus and what the bus started.
dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/bus.address" 2>"$work/bus.log" &
bus=$!
for _ in $(seq 300); do [ -s "$work/bus.address" ] && break; sleep 0.1; done
[ -s "$work/bus.address" ] || { echo "FAIL the session bus did not start:"; cat "$work/bus.log"; exit 1; }
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus.address")
export DBUS_SESSION_BUS_ADDRESS

# A logger at the simulator's full speed, running its application: the job switches it over, writes the
# built-in V1.06 and starts it.
"$bin/vantrel-sim" --trace --state "$work/sim.state" >"$work/sim.out" 2>"$work/sim.trace" &
sim=$!
for _ in $(seq 300); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
port=$(head -n 1 "$work/sim.out")
[ -n "$port" ] || { echo "FAIL the simulator did not start"; exit 1; }

# Operator mode (no settings file) and a history of its own. The toolkit offers its accessible objects
# on the bus only when asked: a screen reader asks through the desktop's settings, this run by the
# environment.
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
"$bin/vantrel-update" >"$work/app.out" 2>"$work/app.err" &
app=$!

verdict="Update Vantrel Base V1.06 succesfully completed."
# In the background and waited for, so that a signal to this script is handled at once.
timeout 420 /usr/bin/python3 "$here/atspi_update.py" "$app" "$port" "$verdict" &
driver=$!
wait "$driver"
driven=$?
driver=
[ $driven = 0 ] || failures=$((failures + 1))

# Close was pressed last: the program ends by itself.
for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then
  echo "FAIL the program did not end after Close"
  failures=$((failures + 1))
else
  wait "$app"
  status=$?
  app=
  check "the program ends after Close" 0 $status
fi
if [ $driven != 0 ]; then
  sed 's/^/    program: /' "$work/app.err" | tail -n 20
  sed 's/^/    X server: /' "$work/xvfb.log" | tail -n 10
fi

# The logger's side: an application now valid and started, answering as V1.06.
stop "$sim"
sim=
ok=1
grep -qx 'application-valid 1' "$work/sim.state" || ok=0
grep -F 'host->logger' "$work/sim.trace" | grep -qF '| record: srStartApplication' || ok=0
grep -F 'logger->host' "$work/sim.trace" | grep -F '| frame: reply class' | tail -n 1 |
  grep -qF 'reply class 0x6621 version 1.06' || ok=0
if [ $ok = 1 ]; then
  echo "ok   the logger runs the new firmware"
  passed=$((passed + 1))
else
  echo "FAIL the logger does not run the new firmware"
  head -n 2 "$work/sim.state" 2>/dev/null | sed 's/^/    state: /'
  grep -vF '| record: data block' "$work/sim.trace" | grep -vF '| record: echo block' | tail -n 12 | cut -c 1-160 |
    sed 's/^/    trace: /'
  failures=$((failures + 1))
fi

check "the operator's history has the job" 0 0 "verdict=\"$verdict\"" "$work/state/vantrel/updates.log"

[ "$failures" = 0 ]
