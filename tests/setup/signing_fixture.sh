#!/usr/bin/env bash
# Signs a copy of this tree's program and package as an administrator would
# (scripts/sign.sh), with a throwaway code-signing certificate made here, and
# checks both signatures: the setup tests install the result from
# TREE/signing/signed.
#
#   signing_fixture.sh TREE HOST_BUILD
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
TREE=$1 HOST=$2
OUT="$TREE/signing"
rm -rf "$OUT"
mkdir -p "$OUT/signed"
ln -s "$HOST" "$OUT/host"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$OUT/key.pem" -out "$OUT/cert.pem" -days 2 \
  -subj "/CN=QDX test signer" -addext "extendedKeyUsage=codeSigning" >"$OUT/openssl.log" 2>&1
cp "$TREE/qdxremote.exe" "$TREE/qdxsetup.exe" "$TREE/qdxremote.hlp" "$TREE"/*.html "$OUT/signed/"
signed_files=(qdxremote.exe qdxsetup.exe)
if [ -f "$TREE/qdxremote.msi" ]; then  # the Windows Installer package, with its custom action DLL
  mkdir -p "$OUT/signed/installer"
  cp "$TREE/qdxremote.msi" "$OUT/signed/"
  cp "$TREE/installer/qdxpreset.dll" "$OUT/signed/installer/"
  signed_files+=(qdxremote.msi)
fi
QDX_BUILD_DIR="$OUT" bash "$ROOT/scripts/sign.sh" "$OUT/cert.pem" "$OUT/key.pem" signed
for f in "${signed_files[@]}"; do
  osslsigncode verify -CAfile "$OUT/cert.pem" -in "$OUT/signed/$f" >"$OUT/verify-$f.log" 2>&1 || {
    cat "$OUT/verify-$f.log"; echo "FAIL: signed $f does not verify"; exit 1; }
  echo "ok: signed $f verifies ($(stat -c %s "$OUT/signed/$f") bytes)"
done
