#!/usr/bin/env bash
# Signs one Windows program file in place with Authenticode (SHA-256), for package.sh and
# for makensis's finalize steps, which run it once for the installer and once for the
# uninstaller. The certificate comes from the environment:
#   TW_SIGN_PFX            the PKCS#12 file with the key and its certificate chain
#   TW_SIGN_PASSWORD_FILE  (optional) a file holding its password
#   TW_SIGN_TIMESTAMP      (optional) an RFC 3161 time-stamping server's address
#   TW_SIGN_URL            (optional) the address shown with the signature
# Usage: sign.sh FILE
set -euo pipefail
file=$1
args=(sign -pkcs12 "$TW_SIGN_PFX" -h sha256 -n Tarnwick)
if [ -n "${TW_SIGN_PASSWORD_FILE:-}" ]; then args+=(-readpass "$TW_SIGN_PASSWORD_FILE"); fi
if [ -n "${TW_SIGN_TIMESTAMP:-}" ]; then args+=(-ts "$TW_SIGN_TIMESTAMP"); fi
if [ -n "${TW_SIGN_URL:-}" ]; then args+=(-i "$TW_SIGN_URL"); fi
rm -f "$file.signed"
if ! osslsigncode "${args[@]}" -in "$file" -out "$file.signed" >"$file.sign-log" 2>&1; then
  cat "$file.sign-log" >&2
  rm -f "$file.signed" "$file.sign-log"
  exit 1
fi
rm -f "$file.sign-log"
mv -f "$file.signed" "$file"
