#!/usr/bin/env bash
# Runs the codec benchmark of this tree and of an earlier commit back to back on the same files:
# both builds compile bench/vkpbench.cpp of this tree with the same flags, one against the codec
# sources of this tree, the other against those of BASE.
#   bench/compare.sh BASE [vkpbench options and paths...]
set -eu
cd "$(dirname "$0")/.."
base=$1
shift
out=build/bench-compare
rm -rf "$out/base-src"
mkdir -p "$out/base-src"
git archive "$base" codec compress decompress | tar -x -C "$out/base-src"
flags=(-std=c++17 -O2 -DNDEBUG)
build() { # NAME SOURCE-ROOT
    c++ "${flags[@]}" -I "$2" -o "$out/$1" bench/vkpbench.cpp \
        "$2"/codec/*.cpp "$2"/compress/*.cpp "$2"/decompress/*.cpp -lz
}
build vkpbench-base "$out/base-src" &
first=$!
build vkpbench-this . &
second=$!
wait "$first"
wait "$second"
echo "== before ($(git rev-parse --short "$base"))"
"$out/vkpbench-base" "$@"
echo "== after ($(git rev-parse --short HEAD)$(git diff --quiet HEAD -- codec compress decompress || echo ', uncommitted changes'))"
"$out/vkpbench-this" "$@"
