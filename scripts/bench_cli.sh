#!/usr/bin/env bash
# Times fillwright-cli against the usual ways of making a file from a shell:
# head -c from /dev/zero and /dev/urandom, openssl rand (if installed),
# fallocate -l and truncate -s; its noise mode against its zero mode; its
# --check against reading the file with cat and comparing it with cmp; and
# the worst case of the seed search. Whole-command wall time, every command
# run several times, median shown; prints a table and the ratios to reach.
#
#   bench_cli.sh [SIZE_BYTES]        default 1 GiB
#   FILLWRIGHT_BENCH_RUNS=N          runs per command (default 7)
#   FILLWRIGHT_CLI=PATH              the program (default BUILD/native/fillwright-cli)
#   FILLWRIGHT_BENCH_DIR=DIR         where the files go (default /dev/shm, else the build folder)
#   FILLWRIGHT_BENCH_ROWS=drive      only the drive test's rows (files: all but those)
#
# The drive test's rows run on an ext4 image of SIZE_BYTES, loop-mounted with
# direct I/O, in the same folder: --fill --no-verify against dd writing with
# oflag=direct, --verify against dd reading with iflag=direct, the whole test
# against the two dd runs together, and Debian's f3write + f3read (installed
# here when missing: a reference, not a dependency). The same rows run again
# on an honest drive of a set speed (nbdkit's memory plugin behind its rate
# filter, shown by nbdfuse: FILLWRIGHT_BENCH_RATED_SIZE bytes, default 256
# MiB, at FILLWRIGHT_BENCH_RATED_BITS bits/s, default 2400M: 300 MB/s),
# where the drive and not the processor is the bound, with the share of the
# time the drive had requests in flight. They need root, loop devices and
# FUSE, and say so when they cannot run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$root/${FILLWRIGHT_BUILD_DIR:-build}
size=${1:-1073741824}
runs=${FILLWRIGHT_BENCH_RUNS:-7}
cli=${FILLWRIGHT_CLI:-$out/native/fillwright-cli}
rows_wanted=${FILLWRIGHT_BENCH_ROWS:-all}

if [ -z "${FILLWRIGHT_CLI:-}" ] && [ -f "$out/native/build.ninja" ]; then
    ninja -C "$out/native" --quiet fillwright-cli
fi
if [ ! -x "$cli" ]; then
    echo "bench_cli: $cli not found: run scripts/build.sh first" >&2
    exit 1
fi

# A RAM-backed folder measures the programs rather than the disk.
dir=${FILLWRIGHT_BENCH_DIR:-}
if [ -z "$dir" ]; then
    free_kib=$(df -Pk /dev/shm 2>/dev/null | awk 'NR == 2 { print $4 }')
    # The file being made, and the three that the checks read.
    if [ -n "$free_kib" ] && [ "$free_kib" -gt $((size / 1024 * 5)) ]; then
        dir=/dev/shm
    else
        dir=$out
    fi
fi
dir=$(mktemp -d "$dir/fillwright-bench-cli.XXXXXX")
trap 'rm -rf "$dir"' EXIT
file=$dir/out.bin

now() { echo "${EPOCHREALTIME/./}"; }  # microseconds

declare -A times median
# summarise LABEL BYTES: the median of LABEL's times into median[LABEL],
# and its row of the table into rows.
rows=()
summarise() {
    local label=$1 bytes=$2 sorted all rate
    sorted=$(printf '%s\n' ${times[$label]} | sort -n)
    median[$label]=$(awk '{ t[NR] = $1 } END {
        m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.4f", m / 1e6 }' <<<"$sorted")
    all=$(awk '{ printf "%.3f ", $1 / 1e6 }' <<<"$sorted")
    rate=$(awk -v s="$bytes" -v t="${median[$label]}" 'BEGIN { if (t > 0) printf "%.0f MiB/s", s / 1048576 / t; else print "-" }')
    rows+=("$(printf '%-36s %9s s %13s  %s' "$label" "${median[$label]}" "$rate" "$all")")
}
print_table() {
    printf '%-36s %11s %13s  %s\n' "command" "median" "rate" "every run (s, sorted)"
    printf '%s\n' "${rows[@]}"
    echo
    rows=()
}

# ratio NAME OURS THEIRS TARGET: how many times faster ours is (their time
# over ours), and whether it reaches the target.
ratio() {
    local name=$1 ours=$2 theirs=$3 target=$4
    awk -v n="$name" -v a="${median[$ours]}" -v b="${median[$theirs]}" -v t="$target" 'BEGIN {
        r = (a > 0) ? b / a : 0
        printf "%-52s %7.2fx  (target >= %sx)  %s\n", n, r, t, (r >= t) ? "met" : "NOT MET" }'
}

source "$root/scripts/bench_drive.sh"
if [ "$rows_wanted" = drive ]; then
    drive_rows
    exit
fi

# What the checks read: a random file and its copy, a zero file, and a
# 256 KiB file that no seed of the random stream makes, which the seed search
# tries at every place it looks (its worst case).
random_file=$dir/random.bin
"$cli" -q -m random -s 1 "$size" "$random_file"
cp "$random_file" "$dir/random-copy.bin"
"$cli" -q -m zero "$size" "$dir/zero.bin"
head -c 262144 /dev/urandom >"$dir/unmade.bin"

# The commands, by label; run_labelled runs one on $file.
labels=("fillwright-cli -m zero" "head -c N /dev/zero" "fillwright-cli -m random -s 1" "head -c N /dev/urandom")
if command -v openssl >/dev/null 2>&1 && [ "$size" -le 2147483647 ]; then
    labels+=("openssl rand -out FILE N")
fi
labels+=("fillwright-cli -m ascii" "fillwright-cli -m size" "truncate -s N"
    "fillwright-cli -m size --allocate" "fallocate -l N" "fillwright-cli -m noise -s 1")
# These read files made above and must exit 0; the others make $file.
reads=("fillwright-cli --check -m random" "fillwright-cli --check -m zero" "cat FILE > /dev/null" "cmp FILE COPY"
    "seed search, worst case" "the same file with -s 1")
labels+=("${reads[@]}")
declare -A is_read
for label in "${reads[@]}"; do is_read[$label]=1; done
run_labelled() {
    case $1 in
        "fillwright-cli -m zero") "$cli" -q -m zero "$size" "$file" ;;
        "head -c N /dev/zero") head -c "$size" /dev/zero >"$file" ;;
        "fillwright-cli -m random -s 1") "$cli" -q -m random -s 1 "$size" "$file" ;;
        "head -c N /dev/urandom") head -c "$size" /dev/urandom >"$file" ;;
        "openssl rand -out FILE N") openssl rand -out "$file" "$size" ;;
        "fillwright-cli -m ascii") "$cli" -q -m ascii "$size" "$file" ;;
        "fillwright-cli -m size") "$cli" -q -m size "$size" "$file" ;;
        "truncate -s N") truncate -s "$size" "$file" ;;
        "fillwright-cli -m size --allocate") "$cli" -q -m size --allocate "$size" "$file" ;;
        "fallocate -l N") fallocate -l "$size" "$file" ;;
        "fillwright-cli -m noise -s 1") "$cli" -q -m noise -s 1 "$size" "$file" ;;
        "fillwright-cli --check -m random") "$cli" -q --check -m random "$size" "$random_file" >/dev/null ;;
        "fillwright-cli --check -m zero") "$cli" -q --check -m zero "$size" "$dir/zero.bin" >/dev/null ;;
        "cat FILE > /dev/null") cat "$random_file" >/dev/null ;;
        "cmp FILE COPY") cmp "$random_file" "$dir/random-copy.bin" ;;
        # Exit 1: the file differs (no seed fits), which is the point.
        "seed search, worst case") "$cli" -q --check -m random 262144 "$dir/unmade.bin" >/dev/null || [ $? -eq 1 ] ;;
        "the same file with -s 1") "$cli" -q --check -m random -s 1 262144 "$dir/unmade.bin" >/dev/null || [ $? -eq 1 ] ;;
    esac
}

# Round after round every command runs once, on a fresh file, so that a
# busy moment of the machine falls on all of them alike rather than on one.
for ((round = 0; round < runs; round++)); do
    for label in "${labels[@]}"; do
        rm -f "$file"
        start=$(now)
        if ! run_labelled "$label"; then
            echo "bench_cli: '$label' failed" >&2
            exit 1
        fi
        end=$(now)
        if [ -n "${is_read[$label]:-}" ]; then
            times[$label]+="$((end - start)) "
            continue
        fi
        length=$(stat -c %s "$file")
        if [ "$length" != "$size" ]; then
            echo "bench_cli: '$label' made $length bytes, not $size" >&2
            exit 1
        fi
        times[$label]+="$((end - start)) "
    done
done
rm -f "$file"

for label in "${labels[@]}"; do
    case $label in
        "seed search"* | "the same file"*) summarise "$label" 262144 ;;
        *) summarise "$label" "$size" ;;
    esac
done

echo "fillwright-cli against shell tools: $size bytes into $(dirname "$dir"), $runs runs each, wall time"
# noise and --check use a second thread: they need the second core free.
echo "load average when done (1, 5, 15 min): $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
print_table
echo "speed of fillwright-cli relative to the baseline (baseline time / its time):"
ratio "zero   vs head -c N /dev/zero" "fillwright-cli -m zero" "head -c N /dev/zero" 0.9
ratio "random vs head -c N /dev/urandom" "fillwright-cli -m random -s 1" "head -c N /dev/urandom" 2
ratio "ascii  vs fillwright-cli -m zero" "fillwright-cli -m ascii" "fillwright-cli -m zero" 0.9
ratio "size   vs truncate -s (within 2x)" "fillwright-cli -m size" "truncate -s N" 0.5
ratio "size --allocate vs fallocate -l (within 2x)" "fillwright-cli -m size --allocate" "fallocate -l N" 0.5
ratio "noise  vs fillwright-cli -m zero" "fillwright-cli -m noise -s 1" "fillwright-cli -m zero" 0.9
ratio "--check random vs cat FILE > /dev/null" "fillwright-cli --check -m random" "cat FILE > /dev/null" 0.8
ratio "--check zero   vs cat FILE > /dev/null" "fillwright-cli --check -m zero" "cat FILE > /dev/null" 0.8
ratio "--check random vs cmp FILE COPY (faster)" "fillwright-cli --check -m random" "cmp FILE COPY" 1.0
awk -v a="${median["seed search, worst case"]}" -v b="${median["the same file with -s 1"]}" 'BEGIN {
    printf "seed search, worst case (256 KiB that no seed makes): %.1f ms whole command, %.1f ms with -s 1\n", a * 1000, b * 1000 }'

if [ "$rows_wanted" != files ]; then
    echo
    drive_rows
fi
