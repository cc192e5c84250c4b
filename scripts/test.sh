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

# The engine and command-line suites again under the sanitizers:
# AddressSanitizer with UndefinedBehaviorSanitizer for all of them,
# ThreadSanitizer for the tests that run writer or pipeline threads. The
# fillwright-cli the cli tests start is built with the same sanitizers; its
# reports end it with status 86, which no test takes for success. Any report
# fails the run, and so does a suite that has not ended in half an hour.
sanitized_configure() {  # dir cmake-args...
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" \
            >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
    fi
}
sanitized_suite() {  # dir sanitizers test-program gtest-filter
    local dir=$out/$1 program=$3
    sanitized_configure "$dir" "-DFILLWRIGHT_SANITIZE=$2" || return 1
    ninja -C "$dir" --quiet "$program" || return 1
    ASAN_OPTIONS=exitcode=86 UBSAN_OPTIONS=exitcode=86:print_stacktrace=1 TSAN_OPTIONS=exitcode=86 \
        timeout 1800 "$(find "$dir/tests" -name "$program" -type f | head -n 1)" --gtest_brief=1 "--gtest_filter=$4"
}
run_suite "engine tests under AddressSanitizer + UndefinedBehaviorSanitizer" \
    sanitized_suite asan address,undefined engine_tests '*'
run_suite "cli tests (and the program they start) under AddressSanitizer + UndefinedBehaviorSanitizer" \
    sanitized_suite asan address,undefined cli_tests '*'
run_suite "drive test suite under AddressSanitizer + UndefinedBehaviorSanitizer" \
    sanitized_suite asan address,undefined drivetest_tests '*'
run_suite "threaded engine tests under ThreadSanitizer" \
    sanitized_suite tsan thread engine_tests 'WriterTest.*:WriterProperty.*'
run_suite "threaded cli tests (and the program they start) under ThreadSanitizer" \
    sanitized_suite tsan thread cli_tests 'SmallChunks/*:ProgramChunk/*:MadeFile.*:EveryMode/*:CheckProgram.*'
run_suite "drive test suite (its pipeline's threads) under ThreadSanitizer" \
    sanitized_suite tsan thread drivetest_tests '*'

# The command line's option and size parsers, and the drive test's set
# description (read from the drive, so input like any other), under
# libFuzzer (clang, with AddressSanitizer and UndefinedBehaviorSanitizer): a
# bounded number of inputs each, grown from the seed corpora kept in
# tests/fuzz/corpus and tests/fuzz/description_corpus. What it
# learns stays in a scratch folder; a crash leaves its input in $out/fuzz.
fuzz_suite() {
    local dir=$out/fuzz scratch
    sanitized_configure "$dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DFILLWRIGHT_SANITIZE=address,undefined -DFILLWRIGHT_FUZZ=ON || return 1
    ninja -C "$dir" --quiet options_fuzz description_fuzz || return 1
    local target corpus status=0
    for target in options_fuzz:corpus description_fuzz:description_corpus; do
        corpus=tests/fuzz/${target#*:}
        scratch=$(mktemp -d)
        echo "${target%%:*}:"
        "$dir/tests/fuzz/${target%%:*}" -runs=100000 -max_total_time=120 "-artifact_prefix=$dir/" \
            "$scratch" "$corpus" 2>&1 | grep -E '^(Done|INFO: seed corpus|==[0-9]+== ?ERROR|SUMMARY)|crash'
        [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
        rm -rf "$scratch"
    done
    return "$status"
}
run_suite "option, size and set description parsers under libFuzzer" fuzz_suite
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
# Without it each test program starts a server of its own (Debian's wrapper
# gives it -p0: it ends with its last program), and a program that reaches
# a server while it shuts down can die at once without a word. wineserver
# goes into the background by itself once it listens, so it is started in
# the foreground: when it returns, it is the prefix's server. Started in the
# background, the wine call below could start a short-lived server first,
# and this one would then quit (status 2: a server is running).
export WINEPREFIX=$root/$out/wineprefix-$winbuild
scripts/wine.sh "$winbuild" cmd /c exit >/dev/null 2>&1
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
if ! wineserver -p >/dev/null 2>&1 </dev/null; then
    echo "test.sh: cannot start a persistent wineserver for $WINEPREFIX" >&2
    exit 1
fi
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
