#!/usr/bin/env bash
# Makes the release files the installer tests use, once per test run, signed with a
# throwaway certificate authority made here and now (as sign_installers.sh does):
#   OUT/a/          the release of this build (VERSION_A), signed by "Quorvel Co., Ltd."
#   OUT/b/          the release of the next build (VERSION_B), signed the same way
#   OUT/b-other/    the next build's release signed by "Quorvel Co., Ltd" instead
#   OUT/test-root.crt the authority's certificate
#   OUT/b-tampered/ the next build's installer with one byte changed after signing, and an
#                   update.json that matches the changed file, so only its signature is wrong
# Usage: make_packages.sh SOURCE_DIR OUT VERSION_A EXE_A VERSION_B EXE_B MAKER_NAME MAKER_URL
set -euo pipefail
src=$1 out=$(realpath -m "$2") version_a=$3 exe_a=$4 version_b=$5 exe_b=$6 maker_name=$7 maker_url=$8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out"
mkdir -p "$out"
cd "$work"

openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 2 -subj "/CN=Tarnwick Test Root" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign >/dev/null 2>&1
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >leaf.ext

pfx() {  # pfx COMMON_NAME OUTPUT: a key and its certificate under the test root, with password "test"
  openssl genrsa -out leaf.key 2048 >/dev/null 2>&1
  openssl req -new -key leaf.key -subj "/CN=$1" -out leaf.csr >/dev/null 2>&1
  openssl x509 -req -in leaf.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 -extfile leaf.ext \
    -out leaf.crt >/dev/null 2>&1
  openssl pkcs12 -export -inkey leaf.key -in leaf.crt -certfile ca.crt -passout pass:test -out "$2" >/dev/null 2>&1
}
cp ca.crt "$out/test-root.crt"
pfx "Quorvel Co., Ltd." maker.pfx
pfx "Quorvel Co., Ltd" other.pfx

package() {  # package OUT_SUBDIR VERSION EXE PFX
  "$src/installer/package.sh" --program "$3" --version "$2" --maker-name "$maker_name" --maker-url "$maker_url" \
    --out "$out/$1" --sign "$4" --password test >/dev/null
}
package a "$version_a" "$exe_a" maker.pfx
package b "$version_b" "$exe_b" maker.pfx
package b-other "$version_b" "$exe_b" other.pfx

setup="Tarnwick-Setup-$version_b.exe"
mkdir "$out/b-tampered"
cp "$out/b/$setup" "$out/b-tampered/$setup"
python3 - "$out/b-tampered/$setup" <<'EOF'
import sys
path = sys.argv[1]
with open(path, "r+b") as f:
    data = bytearray(f.read())
    middle = len(data) // 2  # inside the compressed program, well before the signature
    data[middle] ^= 0x01
    f.seek(0)
    f.write(data)
EOF
size=$(stat -c %s "$out/b-tampered/$setup")
digest=$(sha256sum "$out/b-tampered/$setup" | cut -d' ' -f1)
printf '{"version": "%s", "url": "%starnwick/%s", "sha256": "%s", "size": %s}\n' \
  "$version_b" "$maker_url" "$setup" "$digest" "$size" >"$out/b-tampered/update.json"
echo "made: $(cd "$out" && find . -type f | sort | tr '\n' ' ')"
