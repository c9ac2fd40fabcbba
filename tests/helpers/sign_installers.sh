#!/usr/bin/env bash
# Makes signed copies of the stand-in installer for the update tests, with a throwaway
# certificate authority made here and now (nothing secret is kept in the repository).
# Usage: sign_installers.sh OUT_DIR INSTALLER_EXE
#   OUT_DIR/signed.exe             signed by "Quorvel Co., Ltd."
#   OUT_DIR/signed-no-stop.exe     signed by "Quorvel Co., Ltd"
#   OUT_DIR/signed-other-case.exe  signed by "QUORVEL CO., LTD."
set -euo pipefail
out=$(realpath -m "$1")
input=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
cd "$work"

openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 2 -subj "/CN=Tarnwick Test Root" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign >/dev/null 2>&1
openssl genrsa -out leaf.key 2048 >/dev/null 2>&1
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >leaf.ext

sign() {  # sign COMMON_NAME OUTPUT
  openssl req -new -key leaf.key -subj "/CN=$1" -out leaf.csr >/dev/null 2>&1
  openssl x509 -req -in leaf.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 -extfile leaf.ext \
    -out leaf.crt >/dev/null 2>&1
  cat leaf.crt ca.crt >chain.crt
  rm -f "$2"
  osslsigncode sign -certs chain.crt -key leaf.key -h sha256 -in "$input" -out "$2" >/dev/null
}

sign "Quorvel Co., Ltd." "$out/signed.exe"
sign "Quorvel Co., Ltd" "$out/signed-no-stop.exe"
sign "QUORVEL CO., LTD." "$out/signed-other-case.exe"
