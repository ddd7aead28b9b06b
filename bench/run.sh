#!/usr/bin/env bash
# Runs every benchmark once and prints the table (also left in
# build/bench/results.md). Not part of the test command; it gates nothing.
#   bash bench/run.sh [--quick] [--only size,startup,stop,log,flood,soak]
# Needs the three trees built (it builds them) and Xvfb; about 15 minutes,
# --quick about 3.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QDX_BUILD_DIR:-$ROOT/build}"
bash "$ROOT/scripts/install-deps.sh" >/dev/null
command -v python3 >/dev/null || apt-get install -y python3 >/dev/null
bash "$ROOT/scripts/build.sh" >/dev/null
exec python3 "$ROOT/bench/bench.py" "$BUILD" "$@"
