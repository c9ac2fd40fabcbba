#!/usr/bin/env bash
# Paints real frames of the main view through Direct2D into an X display and checks their
# pixels: the palette's background fills the window and the primary button shows its fill.
#   frame_pixels.sh SOURCE_DIR BUILD_DIR GALLERY_EXE
set -euo pipefail
src=$1 build=$2 gallery=$3
source "$src/scripts/wine-env" "$build" pixels   # a prefix of its own, drawing through X11

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  tw_stop_wine
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

tw_start_xvfb 1000x700x24

tw_ensure_prefix 0
tw_start_wine

# check STATE BACKGROUND PRIMARY [gallery options...]
check() {
  local state=$1 background=$2 accent=$3
  shift 3
  timeout -k 5 60 wine "$gallery" "$state" --seconds 40 "$@" >/dev/null 2>&1 &
  local pid=$! shot="$work/$state.png" found=
  # The first frame takes a moment under a cold software renderer: look until it is there.
  for _ in $(seq 40); do
    sleep 1
    import -window root -crop 880x640+0+0 +repage "$shot" 2>/dev/null || continue
    local counts
    counts=$(convert "$shot" -format %c histogram:info:- 2>/dev/null | sort -rn)
    local top accent_pixels
    top=$(head -n1 <<<"$counts" | grep -o '#[0-9A-F]\{6\}' | head -n1 || true)
    accent_pixels=$({ grep -i "#$accent" <<<"$counts" || true; } | awk -F: '{s+=$1} END {print s+0}')
    if [ "$top" = "#$background" ] && [ "$accent_pixels" -ge 500 ]; then found=1; break; fi
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if [ -z "$found" ]; then
    echo "FAIL: $state $*: most common colour $top (want #$background), $accent_pixels accent pixels (want 500 or more)"
    return 1
  fi
  echo "ok: $state $*: background #$background, $accent_pixels pixels of accent #$accent"
}

check one F4F4F5 B24309
check one 171719 C55405 --dark
