#!/usr/bin/env bash
# Runs extract_bench.exe under Wine (a fresh prefix through scripts/wine-test), then times `cp -r`
# of the same generated tree on Linux for comparison.
#   bench/extract_bench.sh [files=805] [scale=4] [rounds=3]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$root/build/win64/bench/extract_bench.exe
[ -x "$exe" ] || { echo "build it first: cmake --build build/win64 --target extract_bench" >&2; exit 1; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/vnx-extract-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
winpath="Z:${dir//\//\\}"
files=${1:-805}
scale=${2:-4}
rounds=${3:-3}
(cd "$root/build/win64" && "$root/scripts/wine-test" --timeout 600 "$exe" "$winpath" "$files" "$scale" "$rounds")

bytes=$(find "$dir/source" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
best=""
for _ in $(seq 1 "$rounds"); do
    rm -rf "$dir/cp"
    start=$(date +%s.%N)
    cp -r "$dir/source" "$dir/cp"
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
done
printf 'cp -r on Linux (no Wine):            %7.3f s  %7.1f MB/s\n' "$best" \
    "$(echo "$bytes / 1000000 / $best" | bc -l)"
