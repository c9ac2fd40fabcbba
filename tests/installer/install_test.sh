#!/usr/bin/env bash
# Installs the release silently into a fresh Wine prefix and checks what a user would find:
# the program, its shortcut and its "Apps & features" entry; that a second installer will not
# replace a running Tarnwick or its running command line, nor the uninstaller remove them;
# then uninstalls (through its pages, silently, or started plainly) and checks nothing of
# Tarnwick is left, nor anything in the temporary folder; and that it installs only into an
# empty folder or over Tarnwick, and uninstalls only what is its own.
#   install_test.sh SOURCE_DIR BUILD_DIR PACKAGES VERSION MAKER_NAME
set -euo pipefail
source "$(dirname "$0")/lib.sh" "$1" "$2" installer-install
packages=$3 version=$4 maker_name=$5
trap tw_installer_cleanup EXIT

setup="$packages/a/Tarnwick-Setup-$version.exe"
[ -f "$setup" ] || die "no installer at $setup"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnwick'

facts=$(python3 "$tw_src/tests/installer/pe_facts.py" "$setup")
for fact in "machine amd64" "execution-level asInvoker" "signed yes" "version $version.0" "company $maker_name"; do
  if grep -qx "$fact" <<<"$facts"; then ok "installer: $fact"; else fail "installer lacks '$fact': $facts"; fi
done

tw_fresh_prefix

# As winget runs it: with the switch its manifest gives for a silent install.
silent=$(python3 "$tw_src/tests/installer/check_manifests.py" "$packages/a" --switch Silent) || die "no winget manifest"
wine_run 120 "$setup" $silent && status=0 || status=$?
expect "silent install ($silent) exits" "$status" 0

dir_win="$(win_env LOCALAPPDATA)\\Programs\\Tarnwick"
dir=$(winepath -u "$dir_win" 2>/dev/null)
shortcut=$(winepath -u "$(win_env APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs\\Tarnwick.lnk" 2>/dev/null)
expect "installed files" "$(cd "$dir" 2>/dev/null && ls | tr '\n' ' ')" "tarnwick-cli.exe tarnwick-shell.dll tarnwick.exe tarnwick.msix uninstall.exe "
[ -f "$shortcut" ] && ok "Start menu shortcut" || fail "no Start menu shortcut at $shortcut"
grep -qa "tarnwick.exe" "$shortcut" 2>/dev/null && ok "the shortcut names tarnwick.exe" || fail "the shortcut does not name tarnwick.exe"

expect "DisplayName" "$(reg_value "$uninstall_key" DisplayName)" "Tarnwick"
expect "DisplayVersion" "$(reg_value "$uninstall_key" DisplayVersion)" "$version"
expect "Publisher" "$(reg_value "$uninstall_key" Publisher)" "$maker_name"
expect "DisplayIcon" "$(reg_value "$uninstall_key" DisplayIcon)" "\"$dir_win\\tarnwick.exe\",0"
expect "InstallLocation" "$(reg_value "$uninstall_key" InstallLocation)" "$dir_win"
expect "UninstallString" "$(reg_value "$uninstall_key" UninstallString)" "\"$dir_win\\uninstall.exe\" _?=$dir_win"
expect "QuietUninstallString" "$(reg_value "$uninstall_key" QuietUninstallString)" "\"$dir_win\\uninstall.exe\" /S _?=$dir_win"
expect "NoModify" "$(reg_value "$uninstall_key" NoModify)" "0x1"
app_path_key='HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths\tarnwick.exe'
expect "App Paths entry" "$(reg_default "$app_path_key")" "$dir_win\\tarnwick.exe"
expect "NoRepair" "$(reg_value "$uninstall_key" NoRepair)" "0x1"
estimated=$(($(reg_value "$uninstall_key" EstimatedSize)))
installed_kib=$(( $(cat "$dir"/* | wc -c) / 1024 ))
if [ "$estimated" -ge "$installed_kib" ] && [ "$estimated" -le $((installed_kib + 2)) ]; then
  ok "EstimatedSize: $estimated KiB"
else
  fail "EstimatedSize $estimated KiB, the files take $installed_kib KiB"
fi

expect "installed program's version" "$(file_version "$dir/tarnwick.exe")" "$version.0"
# Both signed with the test certificate, the uninstaller while the installer was made.
for file in tarnwick.exe tarnwick-cli.exe tarnwick-shell.dll uninstall.exe; do
  if osslsigncode verify -CAfile "$packages/test-root.crt" -in "$dir/$file" 2>&1 | grep -q "Signature verification: ok"; then
    ok "$file carries a valid signature"
  else
    fail "$file is not validly signed"
  fi
done

# The portable archive holds the same signed program, and its read-me.
portable="$packages/a/Tarnwick-$version-portable.zip"
expect "portable archive" "$(unzip -Z1 "$portable" | sort | tr '\n' ' ')" "Read me.txt tarnwick-cli.exe tarnwick.exe "
expect "portable program" "$(unzip -p "$portable" tarnwick.exe | sha256sum)" "$(sha256sum <"$dir/tarnwick.exe")"
unzip -p "$portable" "Read me.txt" | grep -q '"tarnwick-cli --help"' && ok "the read-me tells of the command line" ||
  fail "the read-me does not tell of tarnwick-cli.exe"

wine_run 60 "$dir/tarnwick.exe" --unregister && status=0 || status=$?
expect "tarnwick.exe --unregister exits" "$status" 0

# Running, the program writes its File Explorer verbs and its settings.
start_program "$dir/tarnwick.exe"
expect "started program" "$(driver wait-window 60)" "$dir_win\\tarnwick.exe"
wait_for 20 reg_key_exists 'HKCU\Software\Classes\*\shell\Tarnwick' || fail "the program wrote no File Explorer verb"
reg_key_exists 'HKCU\Software\Tarnwick' || fail "the program wrote no settings"

# Another installer, not an update, does not replace a running program: silent, it fails.
before=$(sha256sum "$dir/tarnwick.exe")
wine_run 60 "$setup" /S && status=0 || status=$?
expect "silent install while Tarnwick runs exits" "$status" 3
expect "the running program's file" "$(sha256sum "$dir/tarnwick.exe")" "$before"
driver close 30 >/dev/null || fail "Tarnwick did not close"

# The command line counts as Tarnwick running: while it runs (here waiting for a file a helper
# holds), neither an installer nor the uninstaller changes anything, and an update waits for it.
echo "held" >"$WINEPREFIX/drive_c/held.txt"
start_program "$tw_bin_dir/tw_holder.exe" --open 'C:\held.txt' --quit tw-installer-test-holder --timeout 200000
holder_runs() { driver processes | grep -qix 'tw_holder.exe'; }
cli_runs() { driver processes | grep -qix 'tarnwick-cli.exe'; }
wait_for 30 holder_runs || die "the holder did not start"
sleep 1
start_program "$dir/tarnwick-cli.exe" wait --deep --timeout 150 'C:\held.txt'
sleep 5
cli_runs || die "the command line is not waiting"
files_now() { (cd "$dir" && sha256sum tarnwick.exe tarnwick-cli.exe uninstall.exe); }
before=$(files_now)
wine_run 60 "$setup" /S && status=0 || status=$?
expect "silent install while the command line runs exits" "$status" 3
expect "installed files while the command line runs" "$(files_now)" "$before"
# As "Apps & features" starts it (_?=), the uninstaller's own refusal reaches us.
wine_run 60 "$dir/uninstall.exe" /S "_?=$dir_win" && status=0 || status=$?
expect "silent uninstall while the command line runs exits" "$status" 3
expect "installed files after that uninstall" "$(files_now)" "$before"
reg_key_exists "$uninstall_key" && ok "the entry stays" || fail "the uninstall entry is gone"
timeout -k 5 120 wine "$setup" /S /UPDATE=1 </dev/null >/dev/null 2>&1 &
update=$!
sleep 5
kill -0 "$update" 2>/dev/null && ok "the update waits for the command line" || fail "the update did not wait"
driver set-event tw-installer-test-holder || fail "the holder was not told to quit"
wait "$update" && status=0 || status=$?
expect "update once the command line ended exits" "$status" 0
cli_runs && fail "the command line still runs" || ok "the command line has ended"
expect "started after the update" "$(driver wait-window 60)" "$dir_win\\tarnwick.exe"
driver close 30 >/dev/null || fail "Tarnwick did not close"

# The uninstaller goes on from a copy in the temporary folder, so that it can delete itself,
# and leaves nothing there, nor anything for Windows to delete at the next restart (which only
# an administrator may ask for), however it was started: as the entry's UninstallString (with
# its pages) or QuietUninstallString says, or plainly, when NSIS makes the copy.
temp_dir=$(winepath -u "$(win_env TEMP)" 2>/dev/null)
pending() { reg_value 'HKLM\System\CurrentControlSet\Control\Session Manager' PendingFileRenameOperations || true; }
# run_line LINE: starts a command line as it stands (NSIS reads "/D=" and "_?=" only unquoted),
# with no pipe of ours that the programs it starts could hold; its exit status.
run_line() { wine_run 150 "$tw_bin_dir/tw_window_driver.exe" run-line 120 "$1" >/dev/null 2>&1; }
uninstaller_done() { ! driver processes | grep -qi '^Au_\|^Un_\|^uninstall\.exe$'; }
uninstall_as() {  # uninstall_as FOLDER FORM: waits for its uninstaller to be done
  local folder=$1 form=$2 temp_before pending_before
  local folder_win
  [ -e "$folder/uninstall.exe" ] || die "nothing to uninstall in $folder"
  folder_win=$(winepath -w "$folder" 2>/dev/null)
  temp_before=$(ls -A "$temp_dir")
  pending_before=$(pending)
  # The entry's strings, started as they stand ("_?=" must stay unquoted).
  if [ "$form" = pages ]; then
    run_line "\"$folder_win\\uninstall.exe\" _?=$folder_win" || fail "the uninstaller in $folder did not start"
    driver click-through "Tarnwick Uninstall" 60 >/dev/null || fail "the uninstaller's pages did not come and go"
  elif [ "$form" = quiet ]; then
    run_line "\"$folder_win\\uninstall.exe\" /S _?=$folder_win" && status=0 || status=$?
    expect "the uninstaller in $folder exits" "$status" 0
  else
    wine_run 60 "$folder/uninstall.exe" /S || fail "the uninstaller in $folder did not start"
  fi
  uninstalled() { [ ! -e "$folder/uninstall.exe" ]; }
  wait_for 60 uninstalled || fail "the uninstaller in $folder did not finish"
  wait_for 30 uninstaller_done || fail "the uninstaller in $folder still runs"
  temp_clean() { [ "$(ls -A "$temp_dir")" = "$temp_before" ]; }
  wait_for 30 temp_clean || fail "left in the temporary folder by the $form uninstall: $(comm -13 <(echo "$temp_before") <(ls -A "$temp_dir") | tr '\n' ' ')"
  # Started plainly, NSIS itself asks for its copy to go at restart; it may as an administrator.
  if [ "$form" != plain ]; then
    expect "files to delete at restart after the $form uninstall" "$(pending)" "$pending_before"
  fi
}

# The uninstaller removes only what was installed: a file of the user's stays.
echo "mine" >"$dir/notes.txt"
uninstall_as "$dir" pages

expect "left in the install folder" "$(cd "$dir" 2>/dev/null && ls | tr '\n' ' ')" "notes.txt "
[ ! -e "$shortcut" ] && ok "no shortcut" || fail "the shortcut is still there"
reg_key_exists "$uninstall_key" && fail "the uninstall entry is still there" || ok "no uninstall entry"
reg_key_exists 'HKCU\Software\Tarnwick' && fail "settings are still there" || ok "no settings"
reg_key_exists "$app_path_key" && fail "the App Paths entry is still there" || ok "no App Paths entry"
for verb in 'HKCU\Software\Classes\*\shell\Tarnwick' 'HKCU\Software\Classes\Directory\shell\Tarnwick'; do
  reg_key_exists "$verb" && fail "$verb is still there" || ok "no $verb"
done

# It installs only into an empty folder or over Tarnwick (exit code 4 otherwise, nothing
# changed): not where the uninstall left the user's notes, nor where the user keeps files named
# like Tarnwick's; an installation whose entry a later one took is still recognised.
c_dir() { echo "$WINEPREFIX/drive_c/$1"; }
mkdir -p "$(c_dir mine)" "$(c_dir empty)"
echo "my program" >"$(c_dir mine)/tarnwick.exe"
cp "$tw_bin_dir/tw_described.exe" "$(c_dir mine)/uninstall.exe"
echo "mine" >"$(c_dir mine)/notes.txt"
mine_before=$(cd "$(c_dir mine)" && sha256sum *)
other='Other Tärnwick 目録'  # spaces and letters beyond ASCII in the uninstaller's command lines
setup_win=$(winepath -w "$setup" 2>/dev/null)
while read -r want folder; do
  if [ "$folder" = default ]; then line="\"$setup_win\" /S"; else line="\"$setup_win\" /S /D=C:\\$folder"; fi
  run_line "$line" && status=0 || status=$?
  expect "silent install into $folder exits" "$status" "$want"
done <<EOF_CASES
4 default
4 mine
0 empty
0 $other
0 empty
EOF_CASES
expect "left in the install folder after the refusal" "$(cd "$dir" 2>/dev/null && ls | tr '\n' ' ')" "notes.txt "
expect "the user's folder" "$(cd "$(c_dir mine)" && sha256sum *)" "$mine_before"
expect "installed into the empty folder" "$(cd "$(c_dir empty)" && ls | tr '\n' ' ')" "tarnwick-cli.exe tarnwick-shell.dll tarnwick.exe tarnwick.msix uninstall.exe "
expect "InstallLocation" "$(reg_value "$uninstall_key" InstallLocation)" 'C:\empty'

# Uninstalling the other installation leaves the entry and shortcut to the one they name.
uninstall_as "$(c_dir "$other")" quiet
[ ! -e "$(c_dir "$other")" ] && ok "the other installation is gone" || fail "left of the other installation: $(ls "$(c_dir "$other")")"
expect "InstallLocation after it" "$(reg_value "$uninstall_key" InstallLocation)" 'C:\empty'
[ -f "$shortcut" ] && ok "the shortcut stays" || fail "the shortcut went with the other installation"
uninstall_as "$(c_dir empty)" plain
reg_key_exists "$uninstall_key" && fail "the uninstall entry is still there" || ok "no uninstall entry"
[ ! -e "$shortcut" ] && ok "no shortcut" || fail "the shortcut is still there"
# For every user of the machine (/ALLUSERS, as an administrator): Program Files, the entries
# under HKLM, a Start menu shortcut for all, nothing in the user's registry; uninstalled as the
# machine's entry says, nothing of it is left.
machine_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnwick'
machine_verbs=('HKLM\Software\Classes\*\shell\Tarnwick' 'HKLM\Software\Classes\Directory\shell\Tarnwick')
machine_app_path='HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\tarnwick.exe'
run_line "\"$setup_win\" /S /ALLUSERS" && status=0 || status=$?
expect "install for every user exits" "$status" 0
pf_win="$(win_env ProgramW6432)\\Tarnwick"
pf=$(winepath -u "$pf_win" 2>/dev/null)
expect "installed for every user" "$(cd "$pf" 2>/dev/null && ls | tr '\n' ' ')" "tarnwick-cli.exe tarnwick-shell.dll tarnwick.exe tarnwick.msix uninstall.exe "
expect "the machine's InstallLocation" "$(reg_value "$machine_key" InstallLocation)" "$pf_win"
expect "the machine's QuietUninstallString" "$(reg_value "$machine_key" QuietUninstallString)" \
  "\"$pf_win\\uninstall.exe\" /S /ALLUSERS _?=$pf_win"
for verb in "${machine_verbs[@]}"; do
  expect "$verb" "$(reg_default "$verb\\command")" "\"$pf_win\\tarnwick.exe\" \"%1\""
done
expect "the machine's App Paths entry" "$(reg_default "$machine_app_path")" "$pf_win\\tarnwick.exe"
all_shortcut=$(winepath -u "$(win_env ProgramData)\\Microsoft\\Windows\\Start Menu\\Programs\\Tarnwick.lnk" 2>/dev/null)
[ -f "$all_shortcut" ] && ok "a Start menu shortcut for every user" || fail "no shortcut for every user at $all_shortcut"
reg_key_exists "$uninstall_key" && fail "installing for every user wrote a per-user entry" || ok "no per-user entry"
run_line "$(reg_value "$machine_key" QuietUninstallString)" && status=0 || status=$?
expect "the machine's uninstaller exits" "$status" 0
machine_gone() { [ ! -e "$pf" ]; }
wait_for 60 machine_gone || fail "left in Program Files: $(ls "$pf" 2>/dev/null | tr '\n' ' ')"
wait_for 30 uninstaller_done || fail "the machine's uninstaller still runs"
for key in "$machine_key" "${machine_verbs[@]}" "$machine_app_path"; do
  reg_key_exists "$key" && fail "$key is still there" || ok "no $key"
done
[ ! -e "$all_shortcut" ] && ok "no shortcut for every user" || fail "the shortcut for every user is still there"

wine_run 30 reg export HKCU 'C:\hkcu.reg' >/dev/null 2>&1 || fail "HKCU could not be exported"
expect "HKCU keys and values naming Tarnwick" "$(iconv -f UTF-16 -t UTF-8 "$(c_dir hkcu.reg)" | grep -i tarnwick | tr -d '\r' | tr '\n' ' ')" ""
finish
