#!/usr/bin/env bash
# Times vnxpack installer (the maker) against vnxpack pack alone on the same product: the sample
# product at level 9 (what ships) and the tests' generated product of 805 files at level 6 (the
# end-to-end tests' level), best of ROUNDS wall-clock runs each. Not part of ctest.
#   bench/maker_bench.sh [rounds=3] [stubs=dist/win32/stub]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
vnxpack=$root/build/host/tools/vnxpack
stubs=${2:-$root/dist/win32/stub}
rounds=${1:-3}
[ -x "$vnxpack" ] || { echo "build it first: scripts/build host" >&2; exit 1; }
[ -f "$stubs/Setup.exe" ] || { echo "no stubs in $stubs: scripts/build host win32" >&2; exit 1; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/vnx-maker-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
python3 "$root/tests/e2e/make_product.py" "$dir/product805"

# The best wall time of `rounds` runs of the command, in seconds.
best_of() {
    local best="" start end t
    for _ in $(seq 1 "$rounds"); do
        rm -rf "$dir/out" && mkdir "$dir/out"
        start=$(date +%s.%N)
        "$@" >/dev/null
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    echo "$best"
}

for product in "$root/samples/product:9" "$dir/product805:6"; do
    folder=${product%:*}
    level=${product##*:}
    maker=$(best_of "$vnxpack" installer "$folder" --stub-dir "$stubs" -o "$dir/out/Setup.exe" \
        --product-version 2.4.1 --product-build 2.4.1.318 --build-date 11/14/2023 \
        --level "$level")
    # The payload the maker packs: the folder with the uninstaller (the stub, here) at its root.
    pack=$(best_of "$vnxpack" pack "$folder" -o "$dir/out/payload.bin" --level "$level" \
        --product-version 2.4.1 --add "Uninstall.exe=$stubs/Uninstall.exe")
    printf '%-40s level %s: vnxpack installer %6.2f s, vnxpack pack alone %6.2f s (+%.2f s)\n' \
        "$(basename "$folder") ($(find "$folder" -type f | wc -l) files)" "$level" "$maker" \
        "$pack" "$(echo "$maker - $pack" | bc -l)"
done
