#!/usr/bin/env bash
# Makes the tree of empty files bench_drive searches as a drive, once: DIR/d0..d(N-1), 1,000
# files each, and DIR/.complete holding the count when it is whole (making them under Wine
# would take far longer).
# Usage: make_drive_tree.sh DIR [FOLDERS]   (default 1000 folders: 1,000,000 files)
set -euo pipefail
dir=$(realpath -m "$1")
folders=${2:-1000}
count=$((folders * 1000))
[ "$(cat "$dir/.complete" 2>/dev/null)" = "$count" ] && exit 0
rm -rf "$dir"
mkdir -p "$dir"
for d in $(seq 0 $((folders - 1))); do
  mkdir "$dir/d$d"
  (cd "$dir/d$d" && seq -f 'f%.0f.txt' 0 999 | xargs touch)
done
echo "$count" >"$dir/.complete"
