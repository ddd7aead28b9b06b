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

if ((${#missing[@]})); then
  echo "install-deps: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
else
  echo "install-deps: everything is installed"
fi
