#!/usr/bin/env bash
# Makes the release files of one built tarnwick.exe (scripts/package runs it for the build;
# tests run it for builds of their own):
#   OUT/Tarnwick-Setup-VERSION.exe       the installer (with tarnwick-shell.dll and the sparse
#                                        package tarnwick.msix for Windows 11's File Explorer menu)
#   OUT/Tarnwick-VERSION-portable.zip    the program and its command line, with a read-me
#   OUT/Tarnwick-VERSION.msix            the sparse package the installer registers, to check
#   OUT/update.json                      what the program's updater reads about the installer
#   OUT/SHA256SUMS                       the digests of the four
#   OUT/winget/                          the package manager manifests of the installer
#   OUT/scoop/tarnwick.json              and of the portable archive (see the README's Releases)
# Usage: package.sh --program EXE --version VERSION --maker-name NAME --maker-url URL --out OUT
#                   [--sign PFX [--password PASSWORD] [--timestamp URL]]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")

program= version= maker_name= maker_url= out= pfx= password= timestamp=
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || { echo "package: $1 wants a value" >&2; exit 2; }
  case $1 in
    --program) program=$2 ;;
    --version) version=$2 ;;
    --maker-name) maker_name=$2 ;;
    --maker-url) maker_url=$2 ;;
    --out) out=$2 ;;
    --sign) pfx=$2 ;;
    --password) password=$2 ;;
    --timestamp) timestamp=$2 ;;
    *) echo "package: unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
if [ -z "$program" ] || [ -z "$version" ] || [ -z "$maker_name" ] || [ -z "$maker_url" ] || [ -z "$out" ]; then
  echo "package: --program, --version, --maker-name, --maker-url and --out are needed" >&2
  exit 2
fi
if [ -z "$pfx" ] && { [ -n "$password" ] || [ -n "$timestamp" ]; }; then
  echo "package: --password and --timestamp go with --sign" >&2
  exit 2
fi
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "package: version '$version' is not MAJOR.MINOR.PATCH" >&2; exit 2; }
[[ $maker_url == https://*/ ]] || { echo "package: the maker's address must start with https:// and end in /" >&2; exit 2; }
[ -f "$program" ] || { echo "package: no program at $program" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
out=$(cd "$out" && pwd)

setup_name="Tarnwick-Setup-$version.exe"
portable_name="Tarnwick-$version-portable.zip"
# What a previous run left here would be listed with the new files.
rm -f "$out"/Tarnwick-Setup-*.exe "$out"/Tarnwick-*-portable.zip "$out"/Tarnwick-*.msix "$out/update.json" "$out/SHA256SUMS"
rm -rf "$out/winget" "$out/scoop"

cp "$program" "$work/tarnwick.exe"
# The command-line companion is built beside the program and shipped with it.
cli="$(dirname "$program")/tarnwick-cli.exe"
[ -f "$cli" ] || { echo "package: no tarnwick-cli.exe beside $program" >&2; exit 2; }
cp "$cli" "$work/tarnwick-cli.exe"
shell_dll="$(dirname "$program")/tarnwick-shell.dll"
[ -f "$shell_dll" ] || { echo "package: no tarnwick-shell.dll beside $program" >&2; exit 2; }
cp "$shell_dll" "$work/tarnwick-shell.dll"
nsis_sign=()
if [ -n "$pfx" ]; then
  [ -f "$pfx" ] || { echo "package: no certificate file at $pfx" >&2; exit 2; }
  export TW_SIGN_PFX TW_SIGN_PASSWORD_FILE= TW_SIGN_TIMESTAMP=$timestamp TW_SIGN_URL="${maker_url}tarnwick/"
  TW_SIGN_PFX=$(realpath "$pfx")
  if [ -n "$password" ]; then
    TW_SIGN_PASSWORD_FILE="$work/password"
    (umask 077 && printf '%s' "$password" >"$TW_SIGN_PASSWORD_FILE")
  fi
  "$here/sign.sh" "$work/tarnwick.exe"
  "$here/sign.sh" "$work/tarnwick-cli.exe"
  "$here/sign.sh" "$work/tarnwick-shell.dll"
  nsis_sign=("-DSIGN=\"$here/sign.sh\"")
fi

# The sparse package: its publisher is the signing certificate's subject, as Windows requires.
publisher_id=$(printf '%s' "${maker_name%% *}" | tr -cd 'A-Za-z0-9')
if [ -n "$pfx" ]; then
  pass_args=(-passin pass:)
  [ -n "$password" ] && pass_args=(-passin "file:$TW_SIGN_PASSWORD_FILE")
  subject=$(openssl pkcs12 -in "$TW_SIGN_PFX" -nokeys -clcerts "${pass_args[@]}" 2>/dev/null |
    openssl x509 -noout -subject -nameopt RFC2253,-esc_msb) || { echo "package: no certificate in $pfx" >&2; exit 1; }
  publisher=$(python3 "$here/make_msix.py" --publisher "${subject#subject=}")
else
  publisher=$(python3 "$here/make_msix.py" --publisher "CN=${maker_name//,/\\,}")
fi
clsid=$(sed -n 's/.*kExplorerCommandClsidText\[\] = L"{\([0-9A-F-]*\)}";.*/\1/p' "$root/src/shell/explorer_command.h")
[ -n "$clsid" ] || { echo "package: the command's class is not in src/shell/explorer_command.h" >&2; exit 1; }
mkdir -p "$work/msix/Assets"
for logo in StoreLogo:50 Square150x150Logo:150 Square44x44Logo:44; do
  convert "$root/res/icon/tarnwick.ico[7]" -resize "${logo#*:}x${logo#*:}" "$work/msix/Assets/${logo%%:*}.png"
done
python3 "$here/make_msix.py" --manifest "$here/AppxManifest.xml.in" "$work/msix/AppxManifest.xml" \
  "IDENTITY=$publisher_id.Tarnwick" "PUBLISHER=$publisher" "VERSION=$version" "MAKER_NAME=$maker_name" "CLSID=$clsid" \
  "DESCRIPTION=A free app that releases files and folders that won't delete because another program is using them"
python3 "$here/make_msix.py" "$work/msix" "$work/tarnwick.msix"
[ -n "$pfx" ] && "$here/sign.sh" "$work/tarnwick.msix"
msix_name="Tarnwick-$version.msix"
cp "$work/tarnwick.msix" "$out/$msix_name"

# The picture beside the first and last page: the program's icon on its own light background.
convert -size 164x314 xc:'#F4F4F5' \( "$root/res/icon/tarnwick.ico[7]" -resize 96x96 \) \
  -gravity north -geometry +0+48 -composite -type TrueColor BMP3:"$work/side.bmp"

makensis -V2 -WX -INPUTCHARSET UTF8 \
  "-DVERSION=$version" "-DPROGRAM=$work/tarnwick.exe" "-DCLI=$work/tarnwick-cli.exe" "-DSHELL_DLL=$work/tarnwick-shell.dll" \
  "-DMSIX=$work/tarnwick.msix" "-DIDENTITY=$publisher_id.Tarnwick" "-DOUT_FILE=$work/$setup_name" \
  "-DMAKER_NAME=$maker_name" "-DICON=$root/res/icon/tarnwick.ico" "-DSIDE_BITMAP=$work/side.bmp" "${nsis_sign[@]}" \
  "$here/tarnwick.nsi" >"$work/makensis.log" 2>&1 || { cat "$work/makensis.log" >&2; exit 1; }
mv "$work/$setup_name" "$out/$setup_name"

mkdir "$work/portable"
cp "$work/tarnwick.exe" "$work/tarnwick-cli.exe" "$work/portable/"
sed -e "s|@VERSION@|$version|g" -e "s|@MAKER_URL@|$maker_url|g" -e 's/$/\r/' "$here/portable-readme.txt" \
  >"$work/portable/Read me.txt"
(cd "$work/portable" && zip -q -X -9 "$out/$portable_name" tarnwick.exe tarnwick-cli.exe "Read me.txt")

size=$(stat -c %s "$out/$setup_name")
digest=$(sha256sum "$out/$setup_name" | cut -d' ' -f1)
printf '{\n  "version": "%s",\n  "url": "%s",\n  "sha256": "%s",\n  "size": %s\n}\n' \
  "$version" "${maker_url}tarnwick/$setup_name" "$digest" "$size" >"$out/update.json"

(cd "$out" && sha256sum "$setup_name" "$portable_name" "$msix_name" update.json >SHA256SUMS)
"$here/manifests.sh" "$out" "$version" "$maker_name" "$maker_url" "$setup_name" "$portable_name"
# What was made, with the sizes a release note quotes (the programs as packed, signed if signing).
echo "package: in $out"
for file in "$out/$setup_name" "$out/$portable_name" "$out/$msix_name" "$out/update.json" "$out/SHA256SUMS" "$out"/winget/*.yaml \
            "$out/scoop/tarnwick.json" \
            "$work/tarnwick.exe" "$work/tarnwick-cli.exe" "$work/tarnwick-shell.dll"; do
  name=$(basename "$file")
  case $name in
    tarnwick.exe | tarnwick-cli.exe) name="$name (in both)" ;;
    tarnwick-shell.dll) name="$name (installer)" ;;
  esac
  printf '  %-34s %12s bytes\n' "$name" "$(stat -c %s "$file" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta')"
done
