#!/usr/bin/env bash
# Signs the built program and setup package with a code-signing certificate:
#
#   bash scripts/sign.sh CERT KEY [TREE...]      (trees: win32 win64; both when none is named)
#
# CERT: the certificate (and its chain), PEM or DER; KEY: its private key.
# QDX_SIGN_PASSWORD: the key's password, when it has one. QDX_TIMESTAMP_URL: an
# RFC 3161 time-stamping server, so that the signatures outlive the
# certificate. In each tree, qdxremote.exe is signed first, the package is
# then built again around the signed program (with the build's own qdxpkg)
# and signed in turn; the install puts the signed program in place as it was
# signed. Where the tree has the Windows Installer package (qdxremote.msi),
# its custom action DLL is signed and the package is built again around the
# signed program and DLL, then signed too. Run it after the build: a later
# build packages again, unsigned.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QDX_BUILD_DIR:-$ROOT/build}"
if [ $# -lt 2 ]; then
  echo "usage: bash scripts/sign.sh CERT KEY [win32|win64]..." >&2
  exit 2
fi
CERT=$1 KEY=$2
shift 2
TREES=("$@")
if [ ${#TREES[@]} -eq 0 ]; then TREES=(win32 win64); fi

args=(-certs "$CERT" -key "$KEY" -h sha256 -n "QDX Remote Control")
if [ -n "${QDX_SIGN_PASSWORD:-}" ]; then args+=(-pass "$QDX_SIGN_PASSWORD"); fi
if [ -n "${QDX_TIMESTAMP_URL:-}" ]; then args+=(-ts "$QDX_TIMESTAMP_URL"); fi

sign() {  # file: signed in place, through a temporary file
  rm -f "$1.signing"
  osslsigncode sign "${args[@]}" -in "$1" -out "$1.signing" >"$1.signing.log" 2>&1 || {
    cat "$1.signing.log" >&2; rm -f "$1.signing" "$1.signing.log"; exit 1; }
  rm -f "$1.signing.log"
  mv -f "$1.signing" "$1"
}

for tree in "${TREES[@]}"; do
  dir="$BUILD/$tree"
  if [ ! -f "$dir/qdxremote.exe" ] || [ ! -f "$dir/qdxsetup.exe" ]; then
    echo "sign: $dir holds no built program and package (bash scripts/build.sh $tree)" >&2
    exit 1
  fi
  # A program signed already gets the new signature in place of the old one.
  sign "$dir/qdxremote.exe"
  "$BUILD/host/qdxpkg" -o "$dir/qdxsetup.exe" --dir "$dir" "$dir/qdxremote.exe"
  sign "$dir/qdxsetup.exe"
  osslsigncode verify -CAfile "$CERT" -in "$dir/qdxsetup.exe" >/dev/null 2>&1 ||
    echo "sign: note: $dir/qdxsetup.exe does not verify against $CERT alone (a chain the system trusts may)" >&2
  echo "sign: $dir/qdxremote.exe and $dir/qdxsetup.exe signed"
  if [ -f "$dir/qdxremote.msi" ] && [ -f "$dir/installer/qdxpreset.dll" ]; then
    sign "$dir/installer/qdxpreset.dll"
    python3 "$ROOT/installer/build-msi.py" --out "$dir/qdxremote.msi" --dir "$dir" \
      --dll "$dir/installer/qdxpreset.dll" >/dev/null
    sign "$dir/qdxremote.msi"
    osslsigncode verify -CAfile "$CERT" -in "$dir/qdxremote.msi" >/dev/null 2>&1 ||
      echo "sign: note: $dir/qdxremote.msi does not verify against $CERT alone (a chain the system trusts may)" >&2
    echo "sign: $dir/qdxremote.msi signed"
  fi
done
