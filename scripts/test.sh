#!/usr/bin/env bash
# The whole test suite from a fresh machine: install what is missing, build
# all three trees, run every test. Ends with "N passed, N failed" (", M skipped"
# after it where the machine cannot run the 32-bit tree's Wine tests).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
start=$(date +%s)
bash "$ROOT/scripts/install-deps.sh"
bash "$ROOT/scripts/build.sh"
status=0
bash "$ROOT/scripts/ctest.sh" "$@" || status=$?
echo "test run took $(( $(date +%s) - start )) s"
exit $status
