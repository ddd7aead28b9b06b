#!/usr/bin/env bash
# Configures and builds the trees named (all four when none is): host (the
# core, the tools and their tests), win64 (the 64-bit program with its tests),
# win32 (the shipping 32-bit program with the same tests) and fuzz (the fuzz
# targets, with clang).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QDX_BUILD_DIR:-$ROOT/build}"
JOBS="${QDX_JOBS:-2}"
TREES=("$@")
if [ ${#TREES[@]} -eq 0 ]; then TREES=(host win64 win32 fuzz); fi

for tree in "${TREES[@]}"; do
  case $tree in
    host)
      cmake -S "$ROOT" -B "$BUILD/host" -DCMAKE_BUILD_TYPE=Release >/dev/null ;;
    win64|win32)
      arch=x86_64; [ "$tree" = win32 ] && arch=i686
      # The Windows trees copy the help file and use qdxpkg from the host tree.
      [ -f "$BUILD/host/qdxpkg" ] || bash "$0" host
      cmake -S "$ROOT" -B "$BUILD/$tree" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$arch.cmake" \
        -DQDX_HOST_BUILD="$BUILD/host" >/dev/null ;;
    fuzz)
      cmake -S "$ROOT" -B "$BUILD/fuzz" -DCMAKE_BUILD_TYPE=Debug -DQDX_FUZZ=ON -DQDX_TESTS=OFF \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null ;;
    *)
      echo "build: no tree '$tree' (host, win64, win32, fuzz)" >&2; exit 2 ;;
  esac
  cmake --build "$BUILD/$tree" -j "$JOBS"
done
echo "build: done (${TREES[*]} in $BUILD)"
