#!/usr/bin/env bash
# The main job: build everything, start the substitute recorder on loopback
# and the client under Wine on a visible virtual desktop, pointed at it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QDX_BUILD_DIR:-$ROOT/build}"
PORT="${QDX_PORT:-2640}"
USER_NAME="${QDX_USER:-qdx}"
PASSWORD="${QDX_PASSWORD:-qdx}"

bash "$ROOT/scripts/install-deps.sh"
bash "$ROOT/scripts/build.sh"

RUNDIR="$BUILD/run"
mkdir -p "$RUNDIR"
"$BUILD/host/qdxrecorder" --listen "127.0.0.1:$PORT" --user "$USER_NAME" --password "$PASSWORD" \
  --log-file "$RUNDIR/recorder.log" &
RECORDER=$!
trap 'kill $RECORDER 2>/dev/null || true' EXIT
sleep 0.5
echo "Substitute recorder: 127.0.0.1:$PORT, user \"$USER_NAME\", password \"$PASSWORD\" (log: $RUNDIR/recorder.log)"

if [ -x "$ROOT/scripts/run-client.sh" ]; then
  bash "$ROOT/scripts/run-client.sh" "$BUILD" "127.0.0.1:$PORT" "$USER_NAME" "$PASSWORD"
else
  echo "Press Ctrl+C to stop the recorder."
  wait $RECORDER
fi
