#!/bin/sh
# wine-wow64.sh fetch | dlls DIR
# The 64-bit Wine loader runs 32-bit Windows programs in its wow64 mode when it
# finds Wine's 32-bit Windows-side DLLs, which Debian ships in libwine:i386 (a
# package that cannot be installed beside the 64-bit Wine without the 32-bit
# Linux libraries this kernel cannot run anyway).
#   fetch     download libwine:i386 of the installed Wine's version into apt's
#             archive cache; nothing is done when it is there
#   dlls DIR  copy its DLLs to DIR/i386-windows and link DIR/x86_64-unix to the
#             64-bit Wine's Unix libraries, so that WINEDLLPATH=DIR works;
#             nothing is done when DIR already holds that version
set -eu
CACHE=/var/cache/apt/archives
arch=$(dpkg --print-architecture)
version=$(dpkg-query -W -f='${Version}' "libwine:$arch" 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "wine-wow64: Wine (libwine:$arch) is not installed: run scripts/install-deps.sh" >&2
  exit 1
fi
# apt's own name for the file: an epoch's colon is written %3a
deb="$CACHE/libwine_$(echo "$version" | sed 's/:/%3a/')_i386.deb"

case "${1:-}" in
  fetch)
    [ -f "$deb" ] && exit 0
    SUDO=""
    if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
    updated=""
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      $SUDO dpkg --add-architecture i386
      $SUDO apt-get update -qq
      updated=1
    fi
    echo "wine-wow64: downloading libwine:i386 $version (Wine's 32-bit DLLs for the 32-bit tests)"
    # The package lists may predate the i386 architecture or this version: update once and retry.
    if ! (cd "$CACHE" && $SUDO apt-get download -qq -o APT::Sandbox::User=root "libwine:i386=$version") && [ -z "$updated" ]; then
      $SUDO apt-get update -qq
      (cd "$CACHE" && $SUDO apt-get download -qq -o APT::Sandbox::User=root "libwine:i386=$version")
    fi
    [ -f "$deb" ] || { echo "wine-wow64: $deb was not downloaded" >&2; exit 1; }
    ;;
  dlls)
    dir=${2:?usage: $0 dlls DIR}
    stamp="$dir/version"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && [ -f "$dir/i386-windows/ntdll.dll" ]; then
      exit 0
    fi
    if [ ! -f "$deb" ]; then
      echo "wine-wow64: $deb is missing: run scripts/install-deps.sh" >&2
      exit 1
    fi
    # The loader looks for a DLL's Unix half in the same WINEDLLPATH entry,
    # under the host's folder name; without it the 32-bit display driver
    # cannot start and every CreateWindow fails.
    unixdir=$(dpkg -L "libwine:$arch" | grep '/x86_64-unix/ntdll\.so$' | head -1)
    unixdir=${unixdir%/ntdll.so}
    [ -n "$unixdir" ] || { echo "wine-wow64: no x86_64-unix folder in libwine:$arch" >&2; exit 1; }
    rm -rf "$dir" "$dir.tmp"
    mkdir -p "$dir.tmp"
    dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$dir.tmp" ./usr/lib/i386-linux-gnu/wine/i386-windows
    mkdir -p "$dir"
    mv "$dir.tmp/usr/lib/i386-linux-gnu/wine/i386-windows" "$dir/i386-windows"
    rm -rf "$dir.tmp"
    ln -s "$unixdir" "$dir/x86_64-unix"
    echo "$version" >"$stamp"
    echo "wine-wow64: Wine $version 32-bit DLLs in $dir"
    ;;
  *)
    echo "usage: $0 fetch | dlls DIR" >&2
    exit 2
    ;;
esac
