#!/usr/bin/env bash
# Builds everything, then runs every suite: the native engine tests, and the
# Windows tests (engine and end-to-end) under Wine on a private X server.
# Prints each run's counts; exits non-zero if any suite fails.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/build.sh || exit 1
source scripts/host.sh
out=${FILLWRIGHT_BUILD_DIR:-build}

# A suite that exits 77 could not run here (it said why): it is listed at
# the end as not run, neither passed nor failed.
failed=()
not_run=()
run_suite() {  # name command...
    local name=$1 status
    shift
    echo
    echo "=== $name"
    "$@"
    status=$?
    if [ $status -eq 77 ]; then
        not_run+=("$name")
    elif [ $status -ne 0 ]; then
        failed+=("$name")
    fi
}

run_suite "native tests" ctest --test-dir "$out/native" --output-on-failure -j2

# The engine suite again under the sanitizers: AddressSanitizer with
# UndefinedBehaviorSanitizer for all of it, ThreadSanitizer for the tests
# that run writer threads. Any report fails the run.
sanitized_suite() {  # name sanitizers gtest-filter
    local dir=$out/$1
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DFILLWRIGHT_SANITIZE=$2" \
            >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
    fi
    ninja -C "$dir" --quiet engine_tests || return 1
    "$dir/tests/engine_tests" --gtest_brief=1 "--gtest_filter=$3"
}
run_suite "engine tests under AddressSanitizer + UndefinedBehaviorSanitizer" sanitized_suite asan address,undefined '*'
run_suite "threaded engine tests under ThreadSanitizer" sanitized_suite tsan thread 'WriterTest.*:WriterProperty.*'
run_suite "the drive test on real file systems: ext4 on loop devices, counterfeit drives" \
    bash tests/drives/real_drives.sh
run_suite "static checks" bash scripts/static_checks.sh
run_suite "the shipped 32-bit exe as a file" bash scripts/check_exe.sh
run_suite "release packages: the same bytes from two folders, and what they hold" bash scripts/check_release.sh

winbuild=$(wine_build)
reason=$(wine_build_reason)
[ -z "$reason" ] || printf '\nnote: %s.\n' "$reason"
source scripts/xserver.sh
start_private_xserver || exit 1
# One persistent wineserver for the whole run instead of one per test
# program. Wine's background services are started here, with their output
# going nowhere: started from inside a test they would inherit ctest's pipe
# and keep it open.
export WINEPREFIX=$root/$out/wineprefix-$winbuild
scripts/wine.sh "$winbuild" cmd /c exit >/dev/null 2>&1
wineserver -k >/dev/null 2>&1
wineserver -p >/dev/null 2>&1 </dev/null &
scripts/wine.sh "$winbuild" cmd /c exit >/dev/null 2>&1 </dev/null
trap 'wineserver -k >/dev/null 2>&1; stop_private_xserver' EXIT
run_suite "Windows tests under Wine ($winbuild)" ctest --test-dir "$out/$winbuild" --output-on-failure

echo
for name in "${not_run[@]}"; do echo "NOT RUN on this host: $name"; done
if [ ${#failed[@]} -ne 0 ]; then
    echo "FAILED: ${failed[*]}"
    exit 1
fi
echo "all suites passed"
