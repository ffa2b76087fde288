#!/bin/sh
# Exit codes and messages of the vnxpack codec verbs: vnxpack_cli_test.sh VNXPACK SCRATCH_DIR
set -u
tool=$1
dir=$2
rm -rf "$dir" && mkdir -p "$dir" || exit 1
failures=0
expect() { # expected-exit description command...
    want=$1; what=$2; shift 2
    "$@" >"$dir/stdout" 2>"$dir/stderr"
    got=$?
    if [ "$got" != "$want" ]; then
        echo "FAIL: $what: exit $got, expected $want"; cat "$dir/stderr"; failures=$((failures + 1))
    fi
}
mentions() { # text description: stderr must contain the text
    grep -qF "$1" "$dir/stderr" || { echo "FAIL: $2: stderr lacks \"$1\""; cat "$dir/stderr"; failures=$((failures + 1)); }
}

head -c 300000 "$tool" > "$dir/in.bin"
expect 0 "help" "$tool" --help
grep -q compress "$dir/stdout" || { echo "FAIL: --help lists no verbs"; failures=$((failures + 1)); }
expect 2 "no verb" "$tool"
expect 2 "unknown verb" "$tool" frobnicate
expect 2 "compress without paths" "$tool" compress "$dir/in.bin"
expect 2 "bad level" "$tool" compress "$dir/in.bin" "$dir/out.vkp" --level 12
expect 0 "compress --help" "$tool" compress --help
expect 0 "compress" "$tool" compress "$dir/in.bin" "$dir/out.vkp" --level 3
expect 0 "decompress" "$tool" decompress "$dir/out.vkp" "$dir/back.bin"
cmp -s "$dir/in.bin" "$dir/back.bin" || { echo "FAIL: round trip differs"; failures=$((failures + 1)); }
expect 1 "missing input" "$tool" compress "$dir/missing.bin" "$dir/x.vkp"
mentions "missing.bin" "missing input"
head -c 1000 "$dir/out.vkp" > "$dir/cut.vkp"
expect 1 "truncated stream" "$tool" decompress "$dir/cut.vkp" "$dir/cut.bin"
mentions "cut.vkp" "truncated stream"
expect 1 "unwritable output" "$tool" decompress "$dir/out.vkp" "$dir/no/such/dir/x.bin"
mentions "x.bin" "unwritable output"
if [ -w /dev/full ]; then
    expect 1 "full disk" "$tool" decompress "$dir/out.vkp" /dev/full
    mentions "/dev/full" "full disk"
fi
rm -rf "$dir"
[ "$failures" = 0 ] && echo "all vnxpack checks passed"
exit "$failures"
