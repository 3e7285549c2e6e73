#!/usr/bin/env bash
# The update station against simulated loggers plugged into and unplugged from a watched folder, as udev
# adds and removes links in /dev/serial/by-id. Each row: a fresh folder and history, the station's options,
# what the technician does, then the station's exit status and its history's jobs (updated, failed).
# Usage: station_e2e.sh BIN_DIR
set -uo pipefail
bin=$1
work=$(mktemp -d)
declare -A sims=()
station=""
cleanup() {
  [ -n "$station" ] && kill -KILL "$station" 2>/dev/null
  for name in "${!sims[@]}"; do kill "${sims[$name]}" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "$0")/../support/e2e_check.sh"

export XDG_CONFIG_HOME="$work/operator-config"

# plug NAME [simulator options]: a logger plugged in, its link in the watched folder once its port is open.
plug() {
  local name=$1
  shift
  "$bin/vantrel-sim" --link "$dir/$name" "$@" >/dev/null 2>&1 &
  sims[$name]=$!
  for _ in $(seq 100); do [ -L "$dir/$name" ] && return 0; sleep 0.02; done
}
# unplug NAME: the simulator ends and takes its link away.
unplug() {
  kill "${sims[$1]}" 2>/dev/null
  wait "${sims[$1]}" 2>/dev/null
  unset "sims[$1]"
}
wait_for() {
  for _ in $(seq 1200); do grep -qF -- "$1" "$out" 2>/dev/null && return 0; sleep 0.025; done
  echo "    (timed out waiting for '$1')"
  return 1
}
stop() { kill -INT "$station"; }

# What the technician does in each row; $dir is the watched folder, $out the station's stdout.
three_one_after_another() {
  plug a; wait_for "$dir/a: done: unplug"; unplug a
  plug b; wait_for "$dir/b: done: unplug"; unplug b
  plug c; wait_for "$dir/c: done: unplug"
  stop
}
two_at_once() {
  plug a; plug b
  wait_for "$dir/a: done: unplug"; wait_for "$dir/b: done: unplug"
  stop
}
# A logger on a platform no built-in image is for: its failure is recorded, the others go on.
one_faulty() {
  plug a; plug b --platform 23; plug c
  wait_for "$dir/a: done: unplug"; wait_for "$dir/b: failed: "; wait_for "$dir/c: done: unplug"
  stop
}
# Unplugged a moment into programming (on a line paced at 9600 baud); the next logger is updated.
unplugged_mid_job() {
  plug a --paced; wait_for "$dir/a: updating"; sleep 3; unplug a
  wait_for "$dir/a: failed: "
  plug b; wait_for "$dir/b: done: unplug"
  stop
}
# Left plugged in after its update, it is not updated again; unplugged and plugged back, it is a new logger.
plugged_back() {
  plug a; wait_for "$dir/a: done: unplug"
  sleep 1.5
  unplug a; plug a
  wait_for "$dir/a: plugged in"; sleep 0.1; wait_for "tally: 2 updated"
  stop
}
present_at_start() {
  wait_for "$dir/p: there at the start, left alone"
  plug b; wait_for "$dir/b: done: unplug"
  sleep 1.5
  stop
}
# The first Ctrl+C takes no new logger and lets the running job finish.
ctrl_c_once() {
  plug a; wait_for "$dir/a: updating"
  stop
  wait_for "waiting for the 1 job on $dir/a to finish"
  plug b
  wait_for "$dir/a: done: unplug"
}
# The second cancels the running job: the logger is left in its bootloader, its verdict recorded.
ctrl_c_twice() {
  plug a --paced; wait_for "$dir/a: updating"
  stop; sleep 1.2; stop
  wait_for "station: cancelling the 1 job on $dir/a"
}
# The station ends by itself after taking two loggers; a third is not taken.
max_loggers() {
  plug a; plug b
  wait_for "(--max-loggers)"
  plug c
  wait_for "$dir/b: done: unplug"; wait_for "$dir/a: done: unplug"
}
json_events() {
  plug a; wait_for '"change":"tally","port":null,"updated":1'
  unplug a; wait_for '"change":"departed"'
  stop
}

# name|options|actions|ports present at the start|status|updated|failed|texts in stdout ('~' between them)
rows=(
  "three loggers one after another||three_one_after_another||0|3|0|tally: 3 updated, 0 failed, 0 in work"
  "two loggers at once||two_at_once||0|2|0|took 2 loggers: 2 updated, 0 failed"
  "one faulty logger among three||one_faulty||47|2|1|DIR/b: failed: ~(status 47)"
  "a logger unplugged during its job||unplugged_mid_job||11|1|1|DIR/a: unplugged"
  "a logger plugged back after its update||plugged_back||0|2|0|DIR/a: unplugged"
  "a port present at the start is left alone||present_at_start|p|0|1|0|took 1 logger"
  "Ctrl+C once lets the running job finish||ctrl_c_once||0|1|0|no new logger is taken"
  "Ctrl+C twice cancels the running job||ctrl_c_twice||20|0|1|Process cancelled!"
  "--max-loggers 2|--max-loggers 2|max_loggers||0|2|0|took 2 loggers"
  "JSON Lines with station events|--json|json_events||0|1|0|\"event\":\"station\",\"time\":\"~\"change\":\"watching\",\"port\":null,\"updated\":0,\"failed\":0,\"in_work\":0,\"folder\":~\"change\":\"arrived\",\"port\":\"DIR/a\"~\"event\":\"exit\",\"port\":\"DIR/a\""
)
n=0
for row in "${rows[@]}"; do
  IFS='|' read -r name options actions present expected updated failed texts <<<"$row"
  n=$((n + 1))
  dir="$work/row$n/by-id"
  out="$work/row$n/station.out"
  mkdir -p "$dir"
  export XDG_STATE_HOME="$work/row$n/state"
  for p in $present; do plug "$p"; done
  # shellcheck disable=SC2086
  "$bin/vantrel-update-cli" --station --watch-dir "$dir" --yes $options >"$out" 2>"$work/row$n/station.err" &
  station=$!
  # Loggers plugged in from here on arrive; those before are present at the start.
  wait_for "watching"
  "$actions"
  wait "$station"
  status=$?
  station=""
  for name_ in "${!sims[@]}"; do unplug "$name_"; done
  history="$work/row$n/history"
  "$bin/vantrel-update-cli" --history >"$history" 2>/dev/null
  args=()
  IFS='~' read -ra pieces <<<"${texts//DIR/$dir}"
  for piece in "${pieces[@]}"; do args+=("$piece" "$out"); done
  check "$name" "$expected" "$status" "${args[@]}"
  check "$name: history" "$updated updated, $failed failed" \
    "$(grep -c ' status=0 ' "$history") updated, $(grep -vc ' status=0 ' "$history") failed"
done

# A logger taken is never updated twice without an unplug: each "updating" line is one job in the history.
jobs=0
lines=0
for d in "$work"/row*; do
  grep -q '^{' "$d/station.out" && continue
  jobs=$((jobs + $(grep -c ': updating$' "$d/station.out")))
  lines=$((lines + $(cat "$d"/state/vantrel/updates.log 2>/dev/null | wc -l)))
done
check "one history line a job" "$jobs" "$lines"

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
