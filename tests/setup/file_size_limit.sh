#!/usr/bin/env bash
# file_size_limit.sh KB PROGRAM [ARGUMENTS...]
# Runs a Windows program under Wine where no file can grow beyond KB
# kilobytes, as on a disk that fills up: with SIGXFSZ ignored, a write past
# the limit fails instead of ending the process. Processes the program starts
# inherit the limit, since Wine starts them from it. The prefix's wineserver
# is started first, outside the limit: it writes the registry files.
set -eu
limit=$1
shift
wineserver -p5 >/dev/null 2>&1 || true  # already running is fine as well
trap '' XFSZ
ulimit -f "$limit"
export QDX_FILE_SIZE_LIMIT_KB="$limit"
exec "$(dirname "$0")/../../scripts/wine-run.sh" "$@"
