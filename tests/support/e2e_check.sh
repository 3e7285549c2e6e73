# Shared by the end-to-end scripts (source it): one verdict line per check, counted in $passed and $failures.
passed=0
failures=0

# check NAME EXPECTED_STATUS ACTUAL_STATUS [fixed-string file]...
check() {
  local name=$1 expected=$2 actual=$3
  shift 3
  local ok=1
  [ "$expected" = "$actual" ] || { echo "FAIL $name: exit $actual, expected $expected"; ok=0; }
  while [ $# -ge 2 ]; do
    grep -qF -- "$1" "$2" || { echo "FAIL $name: '$1' not in $(basename "$2")"; sed 's/^/    /' "$2" | tail -n 5; ok=0; }
    shift 2
  done
  if [ $ok = 1 ]; then echo "ok   $name"; passed=$((passed + 1)); else failures=$((failures + 1)); fi
}
