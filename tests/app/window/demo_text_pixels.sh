#!/usr/bin/env bash
# The demo of scripts/run, in a fresh Wine prefix that has none of the families the program
# asks for: a helper holds a document, the program searches its folder, and the screenshot
# must show text in the headline and in the holder row's name, and the menu icon.
#   demo_text_pixels.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1 build=$2
source "$src/scripts/wine-env" "$build" pixels-plain

work=$(mktemp -d)
xvfb_pid=
holder_pid=
cleanup() {
  [ -n "${DISPLAY:-}" ] && timeout 30 wine "$build/bin/tw-watch.exe" close >/dev/null 2>&1 </dev/null || true
  [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null || true
  tw_stop_wine
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Fresh every run: nothing (such as stand-in fonts) may have been added to it.
tw_stop_wine
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"

tw_start_xvfb 1280x900x24

tw_ensure_prefix 0
tw_start_wine

# A document held open, without sharing, by a running program.
mkdir -p "$work/Project notes"
echo "Quarterly figures" >"$work/Project notes/report.docx"
win_dir="Z:$(echo "$work/Project notes" | tr '/' '\\')"
timeout -k 5 200 wine "$build/bin/tw_holder.exe" --share none --open "$win_dir\\report.docx" --timeout 180000 \
  >/dev/null 2>&1 </dev/null &
holder_pid=$!
held=
for _ in $(seq 50); do
  # Reading fails with a sharing violation once the helper holds the file.
  if ! timeout 10 wine cmd /c type "$win_dir\\report.docx" >/dev/null 2>&1 </dev/null; then held=1; break; fi
  sleep 0.2
done
[ -n "$held" ] || { echo "FAIL: the helper did not come to hold the document"; exit 1; }

timeout -k 5 120 wine "$build/bin/tw-watch.exe" start --deep "$win_dir" >"$work/watch.txt" 2>/dev/null </dev/null ||
  { cat "$work/watch.txt"; echo "FAIL: the program did not settle"; exit 1; }
cat "$work/watch.txt"
box() { awk -v name="$1" '$2 == "box" && $3 == name { print $4, $5, $6, $7 }' "$work/watch.txt" | tr -d '\r'; }
read -r hx hy hw hh <<<"$(box headline)" || true
read -r rx ry rw rh <<<"$(box row)" || true
read -r mx my mw mh <<<"$(box menu)" || true
[ -n "${hx:-}" ] || { echo "FAIL: the view has no headline"; exit 1; }
[ -n "${rx:-}" ] || { echo "FAIL: the view shows no holder row"; exit 1; }
[ -n "${mx:-}" ] || { echo "FAIL: the view has no menu button"; exit 1; }
# 34 pixels is the menu button's side at 96 DPI.
scale_of() { echo "$1" | awk '{ print $1 / 34 }'; }
s=$(scale_of "$mw")
px() { awk -v v="$1" -v s="$s" 'BEGIN { printf "%d", v * s + 0.5 }'; }

# dark WIDTH HEIGHT X Y: pixels in that area darker than 40% grey (text and icons are near
# black in the light palette; backgrounds and cards are near white).
dark() {
  convert "$work/shot.png" -crop "$1x$2+$3+$4" +repage -colorspace Gray -threshold 40% \
    -format '%[fx:round(w*h*(1-mean))]' info: 2>/dev/null || echo 0
}

# The first frame can reach the X server a moment after the program reports it.
failed=
for attempt in $(seq 10); do
  import -window root "$work/shot.png"
  # The headline's left half; the name's place in the row, right of the icon, left of any button.
  headline=$(dark $((hw / 2)) "$hh" "$hx" "$hy")
  name=$(dark $((rw / 3)) "$(px 24)" $((rx + $(px 64))) $((ry + $(px 12))))
  menu=$(dark "$mw" "$mh" "$mx" "$my")
  failed=
  [ "$headline" -ge 60 ] || failed+=" headline"
  [ "$name" -ge 30 ] || failed+=" name"
  [ "$menu" -ge 12 ] || failed+=" menu"
  [ -z "$failed" ] && break
  sleep 0.5
done
echo "dark pixels: headline $headline (want 60 or more), holder name $name (30 or more), menu icon $menu (12 or more)"
if [ -n "$failed" ]; then
  mkdir -p "$build/screenshots"
  cp "$work/shot.png" "$build/screenshots/demo-text-pixels-failed.png"
  echo "FAIL: nothing drawn in:$failed (screenshot: $build/screenshots/demo-text-pixels-failed.png)"
  exit 1
fi
echo "ok: text and icons show without the usual font families"
