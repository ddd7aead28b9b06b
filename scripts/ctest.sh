#!/usr/bin/env bash
# Runs CTest in the host tree (the core's tests, the include order, the tools'
# tests) and in both Windows trees (x86_64 natively, i686 in Wine's wow64 mode)
# at the same time: each Windows tree on an X server and in a Wine prefix of
# its own, so that nothing on a screen, in a registry or in a hot key is shared
# between the trees. Within a tree, test programs run side by side unless they
# use the screen or the product's settings (see cmake/QdxTesting.cmake). Then
# the fuzz tree, each target a few seconds, on a machine no longer busy with
# the others. Prints each tree's log as it ends, one line per tree and one line
# "N passed, N failed" over all of them. Extra arguments go to every ctest call.
#
# On a machine that cannot run 32-bit code (scripts/probe-32bit.py says no;
# QDX_RUNS_32BIT=yes|no overrides it), the i686 tree runs only its tests that
# need no Wine (label "native"); its Wine tests are counted as skipped, one line
# says why, and the last line reads "N passed, N failed, M skipped". Where the
# probe says yes, every test of that tree runs and any failure fails the run.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QDX_BUILD_DIR:-$ROOT/build}"
LOGDIR="$BUILD/test-logs"
JOBS="${QDX_TEST_JOBS:-4}"  # test programs at once within one tree
mkdir -p "$LOGDIR"

passed=0; failed=0; skipped=0
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

xvfb_pids=()
stop_all() {
  for tree in win64 win32; do
    if [ -d "$BUILD/$tree/wineprefix" ]; then
      WINEPREFIX="$BUILD/$tree/wineprefix" wineserver -k 2>/dev/null || true
    fi
  done
  for pid in "${xvfb_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap stop_all EXIT

# Starts an X server on a display that no other server uses (Xvfb picks it
# and names it, so servers started at the same moment cannot collide);
# prints "PID DISPLAY".
start_xvfb() {
  local name=$1 file pid display=""
  file="$LOGDIR/$name.display"
  rm -f "$file"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$file" </dev/null >"$LOGDIR/$name.xvfb.log" 2>&1 &
  pid=$!
  for _ in $(seq 100); do
    display=$(tr -dc 0-9 <"$file" 2>/dev/null)
    [ -n "$display" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "$pid ${display:-}"
}

run_tree() {  # run_tree NAME [JOBS [CTEST ARGS...]]: ctest of one tree into its log; its seconds into NAME.seconds
  local name=$1 jobs=${2:-$JOBS} start
  shift $(($# < 2 ? $# : 2))
  start=$(date +%s)
  ctest --test-dir "$BUILD/$name" --output-on-failure -j "$jobs" "$@" "${CTEST_ARGS[@]}" >"$LOGDIR/$name.log" 2>&1
  echo $(( $(date +%s) - start )) >"$LOGDIR/$name.seconds"
}

tests_in() {  # tests_in TREE [CTEST ARGS...]: how many tests ctest would run
  local tree=$1; shift
  ctest --test-dir "$BUILD/$tree" -N "$@" "${CTEST_ARGS[@]}" 2>/dev/null |
    sed -nE 's/^Total Tests: ([0-9]+)$/\1/p'
}

CTEST_ARGS=("$@")

# Whether the i686 tree's Wine tests can run here at all.
probe32=$(python3 "$ROOT/scripts/probe-32bit.py" "$BUILD/probe32")
win32_args=()
if [[ $probe32 == no* ]]; then
  win32_args=(-L '^native$')
  all=$(tests_in win32); native=$(tests_in win32 -L '^native$')
  skipped=$(( ${all:-0} - ${native:-0} ))
fi
titles=([0]="host tests" [1]="Windows tests, x86_64 under Wine" [2]="Windows tests, i686 under Wine's wow64 mode"
        [3]="fuzz targets, a few seconds each")
trees=(host win64 win32 fuzz)
jobs=()
run_tree host &
jobs+=($!)
for name in win64 win32; do
  if [ "$name" = win32 ] && [ ${#win32_args[@]} -gt 0 ]; then
    run_tree win32 "$JOBS" "${win32_args[@]}" &  # no Wine: no X server either
    jobs+=($!)
    continue
  fi
  read -r pid display < <(start_xvfb "$name")
  xvfb_pids+=("$pid")
  if [ -z "$display" ]; then
    echo "Xvfb did not start for $name (see $LOGDIR/$name.xvfb.log)" >"$LOGDIR/$name.log"
    echo 0 >"$LOGDIR/$name.seconds"
    jobs+=("")
    continue
  fi
  DISPLAY=":$display" run_tree "$name" &
  jobs+=($!)
done

for i in 0 1 2 3; do
  if [ "$i" = 3 ]; then
    run_tree fuzz 2  # one target per core
  elif [ -n "${jobs[$i]}" ]; then
    wait "${jobs[$i]}"
  fi
  echo "== ${titles[$i]}"
  cat "$LOGDIR/${trees[$i]}.log"
  count "${trees[$i]}" "$LOGDIR/${trees[$i]}.log" "$(cat "$LOGDIR/${trees[$i]}.seconds" 2>/dev/null || echo 0)"
  if [ "${trees[$i]}" = win32 ] && [ ${#win32_args[@]} -gt 0 ]; then
    summary+=("win32: $skipped Wine tests skipped, this machine does not run 32-bit code: ${probe32#no: }")
  fi
done

# Process starts that failed inside Wine and were tried again (tests/support).
retried=0
for tree in win64 win32; do
  log="$BUILD/$tree/Testing/Temporary/LastTest.log"
  [ -f "$log" ] && retried=$((retried + $(grep -c '^\[ RETRIED  \]' "$log")))
done

echo
printf '%s\n' "${summary[@]}"
echo "$retried process starts retried after an error of Wine's"
if [ "$skipped" -gt 0 ]; then
  echo "$passed passed, $failed failed, $skipped skipped"
else
  echo "$passed passed, $failed failed"
fi
[ "$failed" -eq 0 ]
