#!/usr/bin/env bash
# Runs CTest in the host and win64 trees (the latter under Xvfb and Wine) and
# ends with one line "N passed, N failed". Extra arguments go to both ctest calls.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QDX_BUILD_DIR:-$ROOT/build}"
LOGDIR="$BUILD/test-logs"
mkdir -p "$LOGDIR"

passed=0; failed=0
count() {  # count LOGFILE: add CTest's totals of one tree
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -1)
  if [ -z "$line" ]; then
    # ctest did not get as far as its summary (or ran nothing): count as a failure
    if ! grep -q 'No tests were found' "$1"; then failed=$((failed + 1)); fi
    return
  fi
  local f t
  f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + t - f)); failed=$((failed + f))
}

stop_prefix() {
  if [ -d "$BUILD/win64/wineprefix" ]; then
    WINEPREFIX="$BUILD/win64/wineprefix" wineserver -k 2>/dev/null || true
  fi
}
trap stop_prefix EXIT

echo "== host tests"
ctest --test-dir "$BUILD/host" --output-on-failure "$@" 2>&1 | tee "$LOGDIR/host.log"
count "$LOGDIR/host.log"

echo "== Windows tests (x86_64 under Wine)"
xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --test-dir "$BUILD/win64" --output-on-failure "$@" 2>&1 | tee "$LOGDIR/win64.log"
count "$LOGDIR/win64.log"

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
