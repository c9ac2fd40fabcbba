#!/usr/bin/env bash
# The tests' Wine knows only the build folder's font set (the fonts of the packages
# scripts/setup installs): none of the other fonts on this machine, whatever put them there.
# The font links that let Wine's menus and message boxes write Korean, Japanese and Chinese
# name fonts of that set (Wine passes over a missing one without a word).
#   font_set.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1 build=$2
source "$src/scripts/wine-env" "$build" test
tw_ensure_prefix 1

set_dir="Z:$(echo "$tw_fonts_dir/files" | tr '/' '\\')"
[ -n "$(ls "$tw_fonts_dir/files")" ] || { echo "FAIL: the font set is empty"; exit 1; }

# Fonts outside Windows' own folder are registered by their full path.
fonts=$(timeout 60 wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' </dev/null | tr -d '\r' |
  sed -n 's/^ *\(.*\) *REG_SZ *\([A-Za-z]:\\.*\)$/\2/p')
inside=0 outside=()
while read -r path; do
  [ -n "$path" ] || continue
  if [[ "${path,,}" == "${set_dir,,}\\"* ]]; then inside=$((inside + 1)); else outside+=("$path"); fi
done <<<"$fonts"
echo "fonts from the set: $inside, from elsewhere: ${#outside[@]}"
if [ ${#outside[@]} -gt 0 ]; then
  printf 'FAIL: not in the set: %s\n' "${outside[@]}"
  exit 1
fi
[ "$inside" -gt 0 ] || { echo "FAIL: Wine registered none of the set's fonts"; exit 1; }

links=$(timeout 60 wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
  /v 'DejaVu Sans' </dev/null | tr -d '\r' | sed -n 's/^.*REG_MULTI_SZ *//p')
[ -n "$links" ] || { echo "FAIL: DejaVu Sans has no font links"; exit 1; }
linked=0
while read -r entry; do
  [ -n "$entry" ] || continue
  file=${entry%%,*}
  [ -f "$tw_fonts_dir/files/$file" ] || { echo "FAIL: a font link names $file, which the set lacks"; exit 1; }
  linked=$((linked + 1))
done <<<"$(echo "$links" | sed 's/\\0/\n/g')"
echo "fonts linked to DejaVu Sans: $linked"
[ "$linked" -ge 2 ] || { echo "FAIL: want a Chinese and Japanese font and a Korean one"; exit 1; }
echo "ok: the test prefix sees the font set and nothing else, and its links reach it"
