#!/usr/bin/env bash
# The gate, and what CI runs: every stage below, or only those named, then a table of each stage's wall
# time and result. A failing stage does not stop the others; it is marked in the table, its log is printed
# and it makes the exit status non-zero. Only a failed deps stage (the Debian packages the stages need)
# ends the run at once, with its reason.
#
# Two lanes run side by side: the first the stages that need the processors to themselves (the sanitizer
# and fuzz builds and their time-sensitive tests), the second, at a lower priority, windows and then
# packages, which spend much of their time waiting on Wine, X servers, simulated loggers and a Debian root.
# Each stage writes its own log, build-logs/STAGE.log.
#
#   format    the sources as .clang-format wants them (scripts/format.sh --check)
#   asan      every test, per case, under AddressSanitizer and UndefinedBehaviorSanitizer (preset asan)
#   tsan      the tests labelled threads under ThreadSanitizer (preset tsan)
#   fuzz      each fuzz target for 5 s (scripts/fuzz.sh, preset fuzz)
#   valgrind  one update under valgrind; builds the release tree, benchmarks included (scripts/valgrind.sh)
#   windows   the cross build, its tests and end-to-end updates under Wine (scripts/windows.sh)
#   packages  the .deb and the .msi built, installed, used and removed (tests/package/run.sh)
#
# Usage: scripts/test.sh [--stage NAME[,NAME...]] [--label LABEL] [--one-lane]
#   --stage     runs only the stages named, in the order above
#   --label     the asan stage builds and runs only the tests of one label (unit, threads, pty, sweep,
#               window, e2e) instead of all
#   --one-lane  every stage one after another, as the order above
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2

all_stages=(format asan tsan fuzz valgrind windows packages)
side_lane=(windows packages)

usage() {
  sed -n '2,/^set /p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'
  exit "${1:-2}"
}

wanted=("${all_stages[@]}")
label=
one_lane=
while (($#)); do
  case $1 in
    --stage) [ $# -ge 2 ] || usage; IFS=, read -ra wanted <<<"$2"; shift 2 ;;
    --stage=*) IFS=, read -ra wanted <<<"${1#--stage=}"; shift ;;
    --label) [ $# -ge 2 ] || usage; label=$2; shift 2 ;;
    --label=*) label=${1#--label=}; shift ;;
    --one-lane) one_lane=1; shift ;;
    -h | --help) usage 0 ;;
    *) echo "unknown argument: $1" >&2; usage ;;
  esac
done
for name in "${wanted[@]}"; do
  [[ " ${all_stages[*]} " == *" $name "* ]] || { echo "no stage '$name'; the stages: ${all_stages[*]}" >&2; exit 2; }
done
stages=()
for name in "${all_stages[@]}"; do
  [[ " ${wanted[*]} " == *" $name "* ]] && stages+=("$name")
done

# The Debian packages of each stage, installed together before the first stage so that apt-get update
# runs at most once. Each list names everything its stage's scripts install when missing: a package
# forgotten here would make a stage's script run apt-get update once more.
packages_of() {
  case $1 in
    format) echo clang-format-14 ;;
    asan) echo xvfb python3 dbus-daemon dbus-bin at-spi2-core python3-pyatspi ;;
    fuzz) echo clang libclang-rt-14-dev ;;
    valgrind) echo valgrind ;;
    windows) echo g++-mingw-w64-x86-64-posix librsvg2-bin imagemagick wine wine64 fonts-wine xvfb python3 xdotool ;;
    packages) echo help2man librsvg2-bin lintian dpkg-dev file wixl msitools osslsigncode openssl devscripts ccache \
      debootstrap desktop-file-utils appstream bash-completion umockdev xvfb python3 x11-utils wine wine64 \
      g++-mingw-w64-x86-64-posix imagemagick ;;
  esac
}

stage_deps() {
  local extra=() name
  for name in "${stages[@]}"; do
    read -ra more <<<"$(packages_of "$name")"
    extra+=("${more[@]}")
  done
  scripts/deps.sh "${extra[@]}"
}
stage_format() { bash scripts/format.sh --check; }
stage_asan() {
  if [ -z "$label" ]; then
    cmake --workflow --preset asan
  else
    cmake --preset asan && cmake --build --preset asan --target "tests_$label" && ctest --preset asan -L "$label"
  fi
}
stage_tsan() { cmake --workflow --preset tsan; }
stage_fuzz() { bash scripts/fuzz.sh 5; }
stage_valgrind() { bash scripts/valgrind.sh; }
stage_windows() { bash scripts/windows.sh; }
stage_packages() { bash tests/package/run.sh; }

# Each stage is the function stage_NAME; nothing else may be named so. A stage's result goes to
# build-logs/STAGE.result ("STATUS SECONDS"), its output to build-logs/STAGE.log.
logs=build-logs
mkdir -p "$logs"
run_stage() {
  local name=$1 start status
  rm -f "$logs/$name.result"
  echo "===== stage $name started $(date +%T) (log: $logs/$name.log)"
  start=$(date +%s)
  if [ "$name" = deps ]; then
    # On the terminal as well: what is installed, and sudo's question if it asks one (on the terminal itself).
    ("stage_$name") </dev/null 2>&1 | tee "$logs/$name.log"
    status=${PIPESTATUS[0]}
  else
    ("stage_$name") </dev/null >"$logs/$name.log" 2>&1
    status=$?
  fi
  echo "$status $(($(date +%s) - start))" >"$logs/$name.result"
  echo "===== stage $name $([ $status = 0 ] && echo passed || echo "FAILED (exit $status)") $(date +%T)"
}
run_lane() {
  local name
  for name in "$@"; do run_stage "$name"; done
}

minutes() { printf '%d:%02d' $(($1 / 60)) $(($1 % 60)); }
started=$(date +%s)
failed=0
table() {
  local name status seconds
  echo
  printf '%-10s %9s  %s\n' stage "wall time" result
  printf '%-10s %9s  %s\n' ---------- --------- ------
  for name in deps "${stages[@]}"; do
    [ -f "$logs/$name.result" ] || continue
    read -r status seconds <"$logs/$name.result"
    printf '%-10s %9s  %s\n' "$name" "$(minutes "$seconds")" "$([ "$status" = 0 ] && echo passed || echo "FAILED (exit $status)")"
  done
  printf '%-10s %9s  %s\n' total "$(minutes $(($(date +%s) - started)))" "$([ $failed = 0 ] && echo passed || echo FAILED)"
}

# Without the packages every later stage would fail for want of a command: the run ends here, saying why.
rm -f "$logs"/*.result
run_stage deps
read -r status _ <"$logs/deps.result"
if [ "$status" != 0 ]; then
  failed=1
  echo "The Debian packages the stages need could not be installed (above); no stage was run."
  table
  exit 1
fi

first=() second=()
for name in "${stages[@]}"; do
  if [ -z "$one_lane" ] && [[ " ${side_lane[*]} " == *" $name "* ]]; then second+=("$name"); else first+=("$name"); fi
done
side=""
if ((${#second[@]})); then
  # Lower priority: its builds yield the processors to the first lane's time-sensitive tests.
  (renice -n 10 $BASHPID >/dev/null; run_lane "${second[@]}") &
  side=$!
fi
run_lane "${first[@]}"
[ -z "$side" ] || wait "$side"

for name in "${stages[@]}"; do
  read -r status _ <"$logs/$name.result" 2>/dev/null || status=missing
  [ "$status" = 0 ] && continue
  failed=1
  echo
  echo "===== log of the failed stage $name ($logs/$name.log)"
  cat "$logs/$name.log"
done
table
exit $failed
