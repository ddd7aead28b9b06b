#!/usr/bin/env bash
# run-client.sh BUILD SERVER USER PASSWORD
# Runs the 64-bit client under Wine on a virtual desktop, pointed at SERVER
# (host:port) with the given credentials, and waits until it exits. Uses the
# prefix BUILD/run/wineprefix (made on first use). Without a DISPLAY it starts
# its own Xvfb and leaves a screenshot in BUILD/run/client.png.
set -euo pipefail
if [ $# -ne 4 ]; then
  echo "usage: $0 BUILD SERVER USER PASSWORD" >&2
  exit 2
fi
BUILD=$(cd "$1" && pwd)
SERVER=$2
USER_NAME=$3
PASSWORD=$4
EXE="$BUILD/win64/qdxremote.exe"
RUNDIR="$BUILD/run"
[ -f "$EXE" ] || { echo "no client at $EXE: build first (scripts/build.sh)" >&2; exit 1; }

export WINEPREFIX="$RUNDIR/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
mkdir -p "$RUNDIR/logs"

XVFB_PID=""
SHOT_PID=""
cleanup() {
  [ -n "$SHOT_PID" ] && kill "$SHOT_PID" 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  # Find a free display number and start a private X server on it.
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  sleep 1
  echo "No DISPLAY: started Xvfb on $DISPLAY; a screenshot will be saved as $RUNDIR/client.png"
fi

if [ ! -d "$WINEPREFIX" ]; then
  echo "Making the Wine prefix $WINEPREFIX (takes a few seconds)"
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
fi

# Wine draws the caption buttons with Marlett; a prefix without it shows letters.
FONTS="$WINEPREFIX/drive_c/windows/Fonts"
if [ ! -f "$FONTS/marlett.ttf" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]; then
  mkdir -p "$FONTS" && cp /usr/share/wine/fonts/marlett.ttf "$FONTS/"
fi

KEY='HKLM\Software\Tallowind\QDXRemote'
reg_sz() {  # reg_sz SECTION NAME VALUE
  wine reg add "$KEY\\$1" /v "$2" /t REG_SZ /d "$3" /f >/dev/null
}
reg_sz Settings Server "$SERVER"
reg_sz Settings UserName "$USER_NAME"
reg_sz Settings Password "$PASSWORD"
reg_sz Folders Logs "$(winepath -w "$RUNDIR/logs")"

if [ -n "$XVFB_PID" ]; then
  # Nobody can see this desktop: keep a picture of it once the window is up.
  ( sleep 8; import -display "$DISPLAY" -window root "$RUNDIR/client.png" 2>/dev/null \
      && echo "Screenshot: $RUNDIR/client.png" ) &
  SHOT_PID=$!
fi

echo "Client: $EXE (server $SERVER, user \"$USER_NAME\"; log files in $RUNDIR/logs)"
wine explorer /desktop=QDX,1024x768 "$EXE" || true
wineserver -w || true
echo "Client exited."
