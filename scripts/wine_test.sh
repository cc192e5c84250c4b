#!/usr/bin/env bash
# The emulator ctest runs each Windows test program with:
#   wine_test.sh win32|win64 PROGRAM [ARGS...]
# Runs it as wine.sh does, its output passed through, and when it ends
# badly says so in the test's output: its exit status (a Windows exception
# code keeps only its low byte here, 0xC0000005 -> 5), death by a signal,
# and a program that wrote nothing at all, which did not start or died
# before its first line. Its exit status is the program's.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
program=${2:-}
seen=$(mktemp)
trap 'rm -f "$seen"' EXIT
run() {
    "$here/wine.sh" "$@" | tee "$seen"
    status=${PIPESTATUS[0]}
}
run "$@"
# A test program always prints before it tests anything. One that failed
# without a byte on stdout never reached its main (seen about once in a few
# hundred starts under Wine, silently, with status 1): say so, and start it
# once more, so that a failed start is told apart from a failed test.
if [ "$status" -ne 0 ] && [ ! -s "$seen" ]; then
    echo "wine_test.sh: $(basename "$program") ended with exit status $status before writing anything; starting it again" >&2
    run "$@"
fi
if [ "$status" -ne 0 ]; then
    if [ "$status" -gt 128 ]; then
        how="killed by signal $((status - 128)) ($(kill -l $((status - 128)) 2>/dev/null || echo '?'))"
    else
        how="ended with exit status $status"
    fi
    echo "wine_test.sh: $(basename "$program") $how" >&2
    if [ ! -s "$seen" ]; then
        echo "wine_test.sh: it wrote nothing on stdout: it did not start, or died before its first line" >&2
    fi
fi
exit "$status"
