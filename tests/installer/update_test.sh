#!/usr/bin/env bash
# The update path end to end in a fresh Wine prefix, with only curl.exe standing in (Wine has
# none): the installed version A checks at its first start, offers the next version B, and
# the answer Yes is given to its message box as a user would. An installer changed after
# signing is refused and never run, and so is the genuine installer of A offered as a later
# version; the genuine one replaces A with B, which starts again.
#   update_test.sh SOURCE_DIR BUILD_DIR PACKAGES VERSION_A VERSION_B MAKER_URL
set -euo pipefail
source "$(dirname "$0")/lib.sh" "$1" "$2" installer-update
packages=$3 version_a=$4 version_b=$5 maker_url=$6
trap tw_installer_cleanup EXIT

setup_b="Tarnwick-Setup-$version_b.exe"
uninstall_root='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'

tw_fresh_prefix
wine_run 120 "$packages/a/Tarnwick-Setup-$version_a.exe" /S || die "version $version_a did not install"
dir_win="$(win_env LOCALAPPDATA)\\Programs\\Tarnwick"
dir=$(winepath -u "$dir_win" 2>/dev/null)
temp=$(winepath -u "$(win_env TEMP)" 2>/dev/null)
expect "installed version" "$(file_version "$dir/tarnwick.exe")" "$version_a.0"

# curl.exe where Windows keeps it: Wine gives every process its own SystemRoot.
system32="$WINEPREFIX/drive_c/windows/system32"
cp "$tw_bin_dir/tw_curl.exe" "$system32/curl.exe"
mkdir -p "$system32/site"
# The stand-in's record: each run's arguments, each ending in a NUL, then a line feed.
curl_log() {  # curl_log RUN: the address run RUN (from 0) asked for; curl_log count: how many runs
  python3 - "$system32/curl-args.bin" "$1" <<'EOF'
import sys
try:
    runs = open(sys.argv[1], "rb").read().split(b"\0\n")[:-1]
except OSError:
    runs = []
print(len(runs) if sys.argv[2] == "count" else runs[int(sys.argv[2])].split(b"\0")[-1].decode())
EOF
}
downloaded_twice() { [ "$(curl_log count)" -ge 2 ]; }
serve() {  # serve FOLDER: that release's update.json and installer
  rm -f "$system32/site/"*
  cp "$1/update.json" "$1/$setup_b" "$system32/site/"
}
offer_answered() {  # offer_answered [VERSION]: the first start's check is due at once
  local text
  text=$(driver answer-offer 60) || die "no update offer"
  expect "offer" "$(tr '\n' ' ' <<<"$text" | sed 's/ *$//')" \
    "A new version is available: ${1:-$version_b} (current $version_a)  Update now?"
}
refused() {  # refused FILE: the download was deleted and Tarnwick stays open
  [ ! -e "$temp/$1" ] && [ -n "$(driver wait-window 1)" ]
}

echo "-- an installer changed after signing, its manifest matching the changed file"
serve "$packages/b-tampered"
start_program "$dir/tarnwick.exe"
offer_answered
wait_for 60 downloaded_twice || die "the installer was not downloaded"
expect "manifest asked for" "$(curl_log 0)" "${maker_url}tarnwick/update.json?v=$version_a&lang=en"
expect "installer asked for" "$(curl_log 1)" "${maker_url}tarnwick/$setup_b"
sleep 3  # time to check the download; then it must have been deleted, and the window stay
wait_for 20 refused "$setup_b" && ok "the changed installer was deleted and Tarnwick stays open" ||
  fail "the changed installer was not refused"
if driver processes | grep -qi "^$setup_b\$"; then fail "the changed installer runs"; else ok "the changed installer never ran"; fi
expect "installed version after the refusal" "$(file_version "$dir/tarnwick.exe")" "$version_a.0"
driver close 30 >/dev/null || die "Tarnwick did not close"

echo "-- the genuine, signed installer of $version_a, offered whole as 9.9.9"
setup_a="Tarnwick-Setup-$version_a.exe"
rm -f "$system32/site/"*
cp "$packages/a/$setup_a" "$system32/site/"
printf '{"version": "9.9.9", "url": "%starnwick/%s", "sha256": "%s", "size": %s}\n' "$maker_url" "$setup_a" \
  "$(sha256sum "$packages/a/$setup_a" | cut -d' ' -f1)" "$(stat -c %s "$packages/a/$setup_a")" >"$system32/site/update.json"
: >"$system32/curl-args.bin"
wine_run 30 reg delete 'HKCU\Software\Tarnwick' /v LastUpdateCheck /f >/dev/null 2>&1 || die "no check stamp"
start_program "$dir/tarnwick.exe"
offer_answered 9.9.9
wait_for 60 downloaded_twice || die "the installer was not downloaded"
sleep 3
wait_for 20 refused "Tarnwick-Setup-9.9.9.exe" && ok "the older installer was deleted and Tarnwick stays open" ||
  fail "the older installer offered as 9.9.9 was not refused"
if driver processes | grep -qi '^Tarnwick-Setup-'; then fail "an installer runs"; else ok "the older installer never ran"; fi
driver close 30 >/dev/null || die "Tarnwick did not close"

echo "-- the genuine installer"
serve "$packages/b"
: >"$system32/curl-args.bin"
wine_run 30 reg delete 'HKCU\Software\Tarnwick' /v LastUpdateCheck /f >/dev/null 2>&1 || die "no check stamp"
start_program "$dir/tarnwick.exe"
offer_answered
# The window goes as the installer starts; the installer waits for the program to end,
# replaces it and starts the new one.
updated() { [ "$(file_version "$dir/tarnwick.exe")" = "$version_b.0" ]; }
wait_for 120 updated && ok "installed version is now $version_b" || die "the installed program is still $(file_version "$dir/tarnwick.exe")"
expect "started again" "$(driver wait-window 60)" "$dir_win\\tarnwick.exe"
expect "runs of curl" "$(curl_log count)" 2
[ -f "$temp/$setup_b" ] && ok "the installer ran from the temporary folder" || fail "no installer in $temp"

entries=$(wine_run 30 reg query "$uninstall_root" /s 2>/dev/null | tr -d '\r' | grep -c 'DisplayName[[:space:]]*REG_SZ[[:space:]]*Tarnwick$' || true)
expect "uninstall entries for Tarnwick" "$entries" 1
expect "DisplayVersion" "$(reg_value "$uninstall_root\\Tarnwick" DisplayVersion)" "$version_b"
expect "InstallLocation" "$(reg_value "$uninstall_root\\Tarnwick" InstallLocation)" "$dir_win"
expect "installed files" "$(cd "$dir" && ls | tr '\n' ' ')" "tarnwick-cli.exe tarnwick-shell.dll tarnwick.exe tarnwick.msix uninstall.exe "
driver close 30 >/dev/null || fail "the new Tarnwick did not close"
finish
