#!/usr/bin/env bash
# Configures and builds the three trees: host tools, the 64-bit program with
# its tests, and the shipping 32-bit program.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QDX_BUILD_DIR:-$ROOT/build}"
JOBS="${QDX_JOBS:-2}"

cmake -S "$ROOT" -B "$BUILD/host" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD/host" -j "$JOBS"

for tree in win64:x86_64 win32:i686; do
  name=${tree%%:*}; arch=${tree##*:}
  cmake -S "$ROOT" -B "$BUILD/$name" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$arch.cmake" \
    -DQDX_HOST_BUILD="$BUILD/host" >/dev/null
  cmake --build "$BUILD/$name" -j "$JOBS"
done
echo "build: done ($BUILD/win32/qdxremote.exe, $BUILD/win64/qdxremote.exe, $BUILD/host)"
