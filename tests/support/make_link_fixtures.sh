#!/usr/bin/env bash
# Makes what Windows programs under Wine cannot make for themselves: Linux symbolic links,
# which they see as ordinary folders (loops included, as on some network shares), and a
# second drive letter for a folder, as a mapped or substituted drive would be.
# Usage: make_link_fixtures.sh DIR WINEPREFIX
#   DIR/loop-empty/{a -> ., b -> a}                a loop with no file in it
#   DIR/loop-files/{one.txt, sub/two.txt, a -> ., sub/up -> ..}
#   DIR/alias/                                     also drive Q: of the prefix
#   DIR/bag/{a.txt, lnk -> the prefix user's Documents}
#   DIR/many/f0.txt ... f9999.txt                  a large folder
#   DIR-drive/{d0..d99/f0.txt ... f999.txt, deep/in/side/held.txt}
#                                                  drives V: and W: of the prefix, 100,000 files,
#                                                  made once and kept, as making them is slow
set -euo pipefail
dir=$(realpath -m "$1")
prefix=$(realpath -m "$2")
rm -rf "$dir"
mkdir -p "$dir/loop-empty" "$dir/loop-files/sub" "$dir/alias" "$dir/many"
ln -s . "$dir/loop-empty/a"
ln -s a "$dir/loop-empty/b"
: >"$dir/loop-files/one.txt"
: >"$dir/loop-files/sub/two.txt"
ln -s . "$dir/loop-files/a"
ln -s .. "$dir/loop-files/sub/up"
mkdir -p "$dir/bag"
: >"$dir/bag/a.txt"
ln -s "$prefix/drive_c/users/$(id -un)/Documents" "$dir/bag/lnk"
mkdir -p "$prefix/dosdevices"
ln -sfn "$dir/alias" "$prefix/dosdevices/q:"
(cd "$dir/many" && seq -f 'f%.0f.txt' 0 9999 | xargs touch)
drive="$dir-drive"
if [ ! -e "$drive/.complete" ]; then
  rm -rf "$drive"
  mkdir -p "$drive/deep/in/side"
  : >"$drive/deep/in/side/held.txt"
  for d in $(seq 0 99); do
    mkdir "$drive/d$d"
    (cd "$drive/d$d" && seq -f 'f%.0f.txt' 0 999 | xargs touch)
  done
  : >"$drive/.complete"
fi
ln -sfn "$drive" "$prefix/dosdevices/v:"
ln -sfn "$drive" "$prefix/dosdevices/w:"
