#!/bin/sh
# A short tour of tsubo: create an archive from a few files, list it, test it
# and extract it into another folder, then check that every file came back.
# Usage: examples/demo.sh [path-to-tsubo]   (default: build/tsubo)
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
tsubo=${1:-$here/build/tsubo}
case $tsubo in /*) ;; *) tsubo=$(pwd)/$tsubo ;; esac
if [ ! -x "$tsubo" ]; then
  echo "demo: no tsubo at $tsubo (build it first)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/docs/notes" "$work/out"

# A few files: text that compresses, a tiny file that is stored, a subfolder.
seq 1 20000 | sed 's/^/line /' > "$work/src/docs/numbers.txt"
printf 'tsubo demo\n' > "$work/src/readme.txt"
printf 'abc' > "$work/src/docs/notes/tiny.txt"
cp "$tsubo" "$work/src/program.bin"

cd "$work/src"
echo "== tsubo a -r2 -x demo.lzh *     (add, with subfolders)"
"$tsubo" a -r2 -x ../demo.lzh '*'
echo
echo "== tsubo v demo.lzh              (list with directories)"
"$tsubo" v ../demo.lzh
echo
echo "== tsubo t demo.lzh              (test)"
"$tsubo" t ../demo.lzh
echo
cd "$work/out"
echo "== tsubo x demo.lzh              (extract into another folder)"
"$tsubo" x ../demo.lzh
echo
diff -r "$work/src" "$work/out"
echo "demo: the extracted files match the originals"
