#!/usr/bin/env bash
# Runs CTest in the host tree (the core's tests, the include order, the
# tools' tests), in both Windows trees (under Xvfb and Wine: x86_64 natively,
# i686 in Wine's wow64 mode) and in the fuzz tree (each target a few seconds),
# prints one line per tree and ends with one line "N passed, N failed" over all
# of them. Extra arguments go to every ctest call.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QDX_BUILD_DIR:-$ROOT/build}"
LOGDIR="$BUILD/test-logs"
mkdir -p "$LOGDIR"

passed=0; failed=0
summary=()
count() {  # count TREE LOGFILE SECONDS: add CTest's totals of one tree
  local line p f t
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$2" | tail -1)
  if [ -z "$line" ]; then
    # ctest did not get as far as its summary (or ran nothing): count as a failure
    if grep -q 'No tests were found' "$2"; then
      summary+=("$1: no tests ($3 s)")
    else
      failed=$((failed + 1))
      summary+=("$1: ctest ended without a summary, counted as one failure ($3 s)")
    fi
    return
  fi
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  p=$((t - f))
  passed=$((passed + p)); failed=$((failed + f))
  summary+=("$1: $p of $t passed ($3 s)")
}

stop_prefixes() {
  for tree in win64 win32; do
    if [ -d "$BUILD/$tree/wineprefix" ]; then
      WINEPREFIX="$BUILD/$tree/wineprefix" wineserver -k 2>/dev/null || true
    fi
  done
}
trap stop_prefixes EXIT

run_tree() {  # run_tree NAME TITLE [COMMAND PREFIX...]
  local name=$1 title=$2 start
  shift 2
  echo "== $title"
  start=$(date +%s)
  "$@" ctest --test-dir "$BUILD/$name" --output-on-failure "${CTEST_ARGS[@]}" 2>&1 | tee "$LOGDIR/$name.log"
  count "$name" "$LOGDIR/$name.log" $(( $(date +%s) - start ))
}

CTEST_ARGS=("$@")
XVFB=(xvfb-run -a -s "-screen 0 1280x1024x24")
run_tree host "host tests"
run_tree win64 "Windows tests, x86_64 under Wine" "${XVFB[@]}"
run_tree win32 "Windows tests, i686 under Wine's wow64 mode" "${XVFB[@]}"
run_tree fuzz "fuzz targets, a few seconds each"

echo
printf '%s\n' "${summary[@]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
