#!/usr/bin/env bash
# Installs what the builds, the demo and the tests need, with Debian's apt-get.
# Idempotent: packages that are already installed are skipped, and apt-get is
# not called at all when nothing is missing.
set -euo pipefail

PACKAGES=(
  cmake make
  g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine64
  xvfb xauth x11-utils
  googletest
  imagemagick
  libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxfixes3
  fonts-wine
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# A package can be marked installed while a file of it is gone (a removed
# compiler driver, say): the commands the build calls are checked too, and
# the package that brings a missing one is installed again.
declare -A COMMANDS=(
  [i686-w64-mingw32-g++-posix]=g++-mingw-w64-i686-posix
  [i686-w64-mingw32-gcc-posix]=gcc-mingw-w64-i686-posix
  [i686-w64-mingw32-windres]=binutils-mingw-w64-i686
  [x86_64-w64-mingw32-g++-posix]=g++-mingw-w64-x86-64-posix
  [x86_64-w64-mingw32-gcc-posix]=gcc-mingw-w64-x86-64-posix
  [x86_64-w64-mingw32-windres]=binutils-mingw-w64-x86-64
  [wine]=wine
  [wineserver]=wine64
  [xvfb-run]=xvfb
  [cmake]=cmake
  [convert]=imagemagick
)
reinstall=()
for c in "${!COMMANDS[@]}"; do
  if ! command -v "$c" >/dev/null 2>&1; then
    p=${COMMANDS[$c]}
    if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      reinstall+=("$p")
    fi
  fi
done

if ((${#missing[@]})) || ((${#reinstall[@]})); then
  echo "install-deps: installing ${missing[*]:-nothing new}"
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  if ((${#missing[@]})); then
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
  if ((${#reinstall[@]})); then
    echo "install-deps: reinstalling ${reinstall[*]} (files missing)"
    $SUDO apt-get install -y -qq --no-install-recommends --reinstall "${reinstall[@]}" >/dev/null
  fi
else
  echo "install-deps: everything is installed"
fi
