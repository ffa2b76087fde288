#!/usr/bin/env bash
# Runs one fuzz target and checks how far it got:
#
#   run_fuzz.sh FLOOR TARGET SEEDS FLAGS...
#
# SEEDS (a folder, or empty) is only read: what the run finds goes to a fresh folder, so every
# run starts from the same inputs. Fails when the target fails, or when the edges it reached
# (libFuzzer's last "cov:" figure) are fewer than FLOOR: a library under test that lost its
# coverage instrumentation leaves the fuzzer nearly blind, and its run ends far below the floor.
set -u
floor=$1 target=$2 seeds=$3
shift 3
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
"$target" "$@" "$work/corpus" ${seeds:+"$seeds"} 2>&1 | tee "$work/log"
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
    echo "FAIL: $(basename "$target") ended with $status"
    exit 1
fi
edges=$(grep -o 'cov: [0-9]*' "$work/log" | tail -1 | cut -d' ' -f2)
if [ -z "$edges" ]; then
    echo "FAIL: $(basename "$target") reported no coverage (is it built with -fsanitize=fuzzer?)"
    exit 1
fi
if [ "$edges" -lt "$floor" ]; then
    echo "FAIL: $(basename "$target") reached $edges edges, fewer than its floor of $floor:" \
         "is the code under test still built with -fsanitize=fuzzer-no-link?"
    exit 1
fi
echo "$(basename "$target"): $edges edges (floor $floor)"
