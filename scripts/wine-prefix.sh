#!/bin/sh
# wine-prefix.sh up PREFIX [WOW64_DLLS] | down PREFIX
#   up:   make a fresh prefix (the previous one of this tree is stopped and removed)
#         whose programs share one Wine desktop, and keep its wineserver running
#         until `down`; with WOW64_DLLS, for 32-bit programs: Wine's 32-bit DLLs
#         are put in that folder first (scripts/wine-wow64.sh) and the prefix gets
#         its syswow64 from them
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
    # Every window on Wine's own desktop, as large as the X screen. Without a
    # window manager Wine waits 2 s for each top-level window it hides; on its
    # desktop that takes milliseconds, and Wine draws the frames and captions
    # itself, and the tray sits in the desktop's taskbar. Explorer reads this
    # when it starts: after the first session of the prefix has ended.
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1280x1024 /f >/dev/null 2>&1
    # Wine draws the caption buttons with Marlett, which the prefix lacks.
    cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    if [ -n "$dlls" ] && [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
      echo "wine prefix $prefix has no syswow64: Wine did not take the 32-bit DLLs in $dlls" >&2
      exit 1
    fi
    # One server for the whole run: test programs then start without waiting
    # for a new server and its system processes.
    wineserver -p </dev/null >/dev/null 2>&1
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
