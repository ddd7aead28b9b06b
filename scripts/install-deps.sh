#!/usr/bin/env bash
# Installs what the builds, the demo and the tests need, with Debian's apt-get.
# Idempotent: packages that are already installed are skipped, and apt-get is
# not called at all when nothing is missing. Last, Wine's 32-bit Windows DLLs
# for the 32-bit tests are fetched (scripts/wine-wow64.sh fetch): that enables
# the i386 architecture for apt and keeps libwine:i386's package in apt's cache,
# without installing it.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

PACKAGES=(
  cmake make python3
  g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64
  clang libclang-rt-14-dev
  wine wine64
  xvfb xauth x11-utils
  googletest
  imagemagick
  chromium
  libxrender1 libxrandr2 libxi6 libxcursor1 libxinerama1 libxcomposite1 libxfixes3
  fonts-wine
  osslsigncode openssl python3-pefile
  wixl msitools
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# A package can be marked installed while files of it are gone (a removed
# compiler driver or archiver, say): dpkg verifies the toolchain packages and
# the package of every missing file is installed again.
VERIFY=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix
  gcc-mingw-w64-i686-posix-runtime gcc-mingw-w64-x86-64-posix-runtime gcc-mingw-w64-base
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 mingw-w64-i686-dev mingw-w64-x86-64-dev mingw-w64-common
  cmake cmake-data wine wine64 libwine xvfb xauth googletest
)
reinstall=()
installed=()
for p in "${VERIFY[@]}"; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then installed+=("$p"); fi
done
if ((${#installed[@]})); then
  while read -r path; do
    owner=$(dpkg -S "$path" 2>/dev/null | head -1 | cut -d: -f1)
    if [ -n "$owner" ] && [[ " ${reinstall[*]} " != *" $owner "* ]]; then reinstall+=("$owner"); fi
  done < <(dpkg --verify "${installed[@]}" 2>/dev/null | awk '$1 == "missing" { print $NF }')
fi

if ((${#missing[@]})) || ((${#reinstall[@]})); then
  echo "install-deps: installing ${missing[*]:-nothing new}"
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  # The 32-bit Wine DLLs are fetched below from the i386 lists: one update serves both.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then $SUDO dpkg --add-architecture i386; fi
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

bash "$ROOT/scripts/wine-wow64.sh" fetch
