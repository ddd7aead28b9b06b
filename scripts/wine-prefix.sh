#!/bin/sh
# wine-prefix.sh up|down PREFIX
#   up:   make a fresh prefix (the previous one of this tree is stopped and removed)
#   down: stop the prefix's wineserver and every process in it
set -eu
action=$1
prefix=$2
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
case "$action" in
  up)
    if [ -d "$prefix" ]; then
      wineserver -k 2>/dev/null || true
      wineserver -w 2>/dev/null || true
      rm -rf "$prefix"
    fi
    mkdir -p "$(dirname "$prefix")"
    wineboot -i >/dev/null 2>&1
    # A crashing test program must fail, not wait for someone to close a dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w 2>/dev/null || true
    echo "wine prefix ready: $prefix"
    ;;
  down)
    wineserver -k 2>/dev/null || true
    echo "wine prefix stopped: $prefix"
    ;;
  *)
    echo "usage: $0 up|down PREFIX" >&2
    exit 2
    ;;
esac
