# Shared by the installer tests. Each test has a Wine prefix of its own, made afresh (the
# installer writes to HKCU and the user's folders, which the other tests share otherwise),
# and removes it when it ends, also when it fails.
# Usage: source lib.sh SOURCE_DIR BUILD_DIR PREFIX_NAME

tw_src=$1
tw_bin_dir=$2/bin
source "$tw_src/scripts/wine-env" "$2" "$3"
# Wine would make Linux desktop entries for the Start menu shortcut.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

failures=0
started=()

tw_installer_cleanup() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  tw_stop_wine
  rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
}

tw_fresh_prefix() {
  tw_stop_wine
  rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
  tw_ensure_prefix 1
  tw_start_wine
}

ok() { echo "ok: $*"; }
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# expect WHAT ACTUAL WANTED
expect() {
  if [ "$2" = "$3" ]; then ok "$1: $2"; else fail "$1: '$2' (want '$3')"; fi
}
# Stops the test at once: what follows would make no sense.
die() {
  echo "FAIL: $*"
  exit 1
}

# wine_run SECONDS PROGRAM ARGS...: runs a Windows program and waits for it; its exit status.
wine_run() {
  local seconds=$1
  shift
  timeout -k 5 "$seconds" wine "$@" </dev/null
}

# The value of a Windows environment variable, as a Windows path.
win_env() { wine_run 30 cmd /c "echo %$1%" 2>/dev/null | tr -d '\r'; }

# reg_value KEY NAME: the value's data as "reg query" shows it, or nothing.
reg_value() {
  wine_run 30 reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name && $2 ~ /^REG_/ { sub(/^[ \t]*[^ \t]+[ \t]+REG_[A-Z_]+[ \t]+/, ""); print; exit }'
}
# A key's default value.
reg_default() {
  wine_run 30 reg query "$1" /ve 2>/dev/null | tr -d '\r' |
    awk '$2 ~ /^REG_/ { sub(/^[ \t]*[^ \t]+[ \t]+REG_[A-Z_]+[ \t]+/, ""); print; exit }'
}
reg_key_exists() { wine_run 30 reg query "$1" >/dev/null 2>&1; }

# The fixed version of a program file (A.B.C.D).
file_version() { python3 "$tw_src/tests/installer/pe_facts.py" "$1" 2>/dev/null | sed -n 's/^version //p'; }

driver() { wine_run 120 "$tw_bin_dir/tw_window_driver.exe" "$@" 2>/dev/null | tr -d '\r'; }

# start_program PATH ARGS...: starts a Windows program in the background, ended at cleanup.
start_program() {
  timeout -k 5 200 wine "$@" </dev/null >/dev/null 2>&1 &
  started+=($!)
}

# wait_for SECONDS COMMAND...: polls every half second until COMMAND succeeds.
wait_for() {
  local seconds=$1
  shift
  local i
  for ((i = 0; i < seconds * 2; i++)); do
    if "$@"; then return 0; fi
    sleep 0.5
  done
  return 1
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
}
