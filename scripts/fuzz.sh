#!/usr/bin/env bash
# Builds the fuzz targets with clang in build/fuzz and runs each for SECONDS
# (default 60), one after the other, over its checked-in seeds (fuzz/corpus)
# and what earlier runs found (build/fuzz/corpus). A failing input lands in
# build/fuzz/artifacts. Prints per target what it ran and ends with the number
# of targets that found something; exits 1 when any did.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QDX_BUILD_DIR:-$ROOT/build}/fuzz"
SECONDS_EACH="${1:-60}"
TARGETS=(package hostport log registrytext helpsource hlpreader recorder)

bash "$ROOT/scripts/build.sh" fuzz || exit 1

found=0
for t in "${TARGETS[@]}"; do
  log="$BUILD/logs/$t.log"
  mkdir -p "$BUILD/logs" "$BUILD/corpus/$t" "$BUILD/artifacts"
  seeds=$(find "$ROOT/fuzz/corpus/$t" -type f | wc -l)
  "$BUILD/${t}_fuzz" -max_total_time="$SECONDS_EACH" -print_final_stats=1 \
    -artifact_prefix="$BUILD/artifacts/$t-" "$BUILD/corpus/$t" "$ROOT/fuzz/corpus/$t" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  corpus=$(find "$BUILD/corpus/$t" -type f | wc -l)
  if [ "$status" -eq 0 ]; then
    echo "$t: ${runs:-?} runs in ${SECONDS_EACH} s, $seeds seeds, $corpus inputs found so far, no finding"
  else
    found=$((found + 1))
    echo "$t: FINDING after ${runs:-?} runs (exit $status): $(grep -m1 -E 'ERROR|runtime error|deadly signal' "$log")"
    grep -m1 -o "Test unit written to .*" "$log"
  fi
done
echo "fuzz: ${#TARGETS[@]} targets, $found with findings (logs in $BUILD/logs)"
[ "$found" -eq 0 ]
