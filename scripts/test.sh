#!/usr/bin/env bash
# The gate, and what CI runs: every stage below, or only those named, then a table of each stage's wall
# time and result. A failing stage does not stop the others; it is marked in the table and makes the exit
# status non-zero.
#
#   format    the sources as .clang-format wants them (scripts/format.sh --check)
#   asan      every test, per case, under AddressSanitizer and UndefinedBehaviorSanitizer (preset asan)
#   tsan      the tests labelled threads under ThreadSanitizer (preset tsan)
#   fuzz      each fuzz target for 5 s (scripts/fuzz.sh, preset fuzz)
#   valgrind  one update under valgrind; builds the release tree, benchmarks included (scripts/valgrind.sh)
#   windows   the cross build, its tests and end-to-end updates under Wine (scripts/windows.sh)
#   packages  the .deb and the .msi built, installed, used and removed (tests/package/run.sh)
#
# Usage: scripts/test.sh [--stage NAME[,NAME...]] [--label LABEL]
#   --stage   runs only the stages named, in the order above
#   --label   the asan stage builds and runs only the tests of one label (unit, threads, pty, sweep,
#             window, e2e) instead of all
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2

all_stages=(format asan tsan fuzz valgrind windows packages)

usage() {
  sed -n '2,/^set /p' "$0" | sed '$d' | sed 's/^# \{0,1\}//'
  exit "${1:-2}"
}

wanted=("${all_stages[@]}")
label=
while (($#)); do
  case $1 in
    --stage) [ $# -ge 2 ] || usage; IFS=, read -ra wanted <<<"$2"; shift 2 ;;
    --stage=*) IFS=, read -ra wanted <<<"${1#--stage=}"; shift ;;
    --label) [ $# -ge 2 ] || usage; label=$2; shift 2 ;;
    --label=*) label=${1#--label=}; shift ;;
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
# runs at most once. The stages' scripts name what they need themselves too and install only what is
# still missing, so a package forgotten here costs time, not a failure.
packages_of() {
  case $1 in
    format) echo clang-format-14 ;;
    asan) echo xvfb dbus-daemon dbus-bin at-spi2-core python3-pyatspi ;;
    fuzz) echo clang libclang-rt-14-dev ;;
    valgrind) echo valgrind ;;
    windows) echo g++-mingw-w64-x86-64-posix librsvg2-bin imagemagick wine wine64 fonts-wine xvfb xdotool ;;
    packages) echo help2man librsvg2-bin lintian dpkg-dev file wixl msitools debootstrap desktop-file-utils \
      appstream bash-completion wine wine64 g++-mingw-w64-x86-64-posix imagemagick ;;
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

# Each stage is the function stage_NAME; nothing else may be named so.
names=() times=() results=()
failed=0
run_stage() {
  local name=$1 start status
  echo
  echo "===== stage $name"
  start=$(date +%s)
  ("stage_$name")
  status=$?
  names+=("$name")
  times+=($(($(date +%s) - start)))
  if [ "$status" = 0 ]; then
    results+=(passed)
  else
    results+=("FAILED (exit $status)")
    failed=1
  fi
}

minutes() { printf '%d:%02d' $(($1 / 60)) $(($1 % 60)); }

run_stage deps
for name in "${stages[@]}"; do run_stage "$name"; done

total=0
echo
printf '%-10s %9s  %s\n' stage "wall time" result
printf '%-10s %9s  %s\n' ---------- --------- ------
for i in "${!names[@]}"; do
  printf '%-10s %9s  %s\n' "${names[i]}" "$(minutes "${times[i]}")" "${results[i]}"
  total=$((total + times[i]))
done
printf '%-10s %9s  %s\n' total "$(minutes "$total")" "$([ $failed = 0 ] && echo passed || echo FAILED)"
exit $failed
