#!/bin/sh
# wine-prefix.sh up PREFIX [WOW64_DLLS] | down PREFIX
#   up:   make a fresh prefix (the previous one of this tree is stopped and removed);
#         with WOW64_DLLS, for 32-bit programs: Wine's 32-bit DLLs are put in that
#         folder first (scripts/wine-wow64.sh) and the prefix gets its syswow64 from them
#   down: stop the prefix's wineserver and every process in it
set -eu
action=$1
prefix=$2
dlls=${3:-}
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
    if [ -n "$dlls" ]; then
      "$(dirname "$0")/wine-wow64.sh" dlls "$dlls"
      export WINEDLLPATH="$dlls"
    fi
    wineboot -i >/dev/null 2>&1
    # A crashing test program must fail, not wait for someone to close a dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w 2>/dev/null || true
    if [ -n "$dlls" ] && [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
      echo "wine prefix $prefix has no syswow64: Wine did not take the 32-bit DLLs in $dlls" >&2
      exit 1
    fi
    echo "wine prefix ready: $prefix"
    ;;
  down)
    wineserver -k 2>/dev/null || true
    echo "wine prefix stopped: $prefix"
    ;;
  *)
    echo "usage: $0 up PREFIX [WOW64_DLLS] | down PREFIX" >&2
    exit 2
    ;;
esac
