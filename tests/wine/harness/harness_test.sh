#!/usr/bin/env bash
# scripts/wine-test as the Windows suites rely on it: a program's exit code is the result, a
# program that overruns its bound fails with 124, and a run whose wineserver dies fails with 125
# (Wine's loader itself would end with 0), whatever the program was doing.
#
#   harness_test.sh WINE_TEST HANGING_PROGRAM.exe [ARGS]
set -u
wine_test=$1
shift
failures=0
expect() { # expect CODE PATTERN -- wine-test arguments...
    local want=$1 pattern=$2 out rc
    shift 3
    out=$("$wine_test" "$@" 2>&1)
    rc=$?
    if [ "$rc" -ne "$want" ] || ! grep -q -- "$pattern" <<< "$out"; then
        echo "FAILED: wine-test $* ended with $rc (wanted $want, output matching '$pattern'):"
        echo "$out"
        failures=$((failures + 1))
    else
        echo "ok: wine-test $* -> $rc"
    fi
}
# Kills this run's wineserver (found by the prefix in its environment) after two seconds.
kill_server='(sleep 2; for p in /proc/[0-9]*; do
    case "$(readlink "$p/exe")" in */wineserver*) ;; *) continue ;; esac
    tr "\0" "\n" < "$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && kill -9 "${p#/proc/}"
done) >/dev/null 2>&1 &'

expect 7 "" -- --timeout 60 cmd /c exit 7
expect 124 "did not end within 3s" -- --timeout 3 "$@"
expect 125 "the wineserver died" -- --timeout 120 --before "$kill_server" "$@"
[ "$failures" -eq 0 ]
