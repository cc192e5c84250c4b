#!/usr/bin/env bash
# Times fillwright-cli against the usual ways of making a file from a shell:
# head -c from /dev/zero and /dev/urandom, openssl rand (if installed),
# fallocate -l and truncate -s. Whole-command wall time, every command run
# several times, median shown; prints a table and the ratios to reach.
#
#   bench_cli.sh [SIZE_BYTES]        default 1 GiB
#   FILLWRIGHT_BENCH_RUNS=N          runs per command (default 7)
#   FILLWRIGHT_CLI=PATH              the program (default BUILD/native/fillwright-cli)
#   FILLWRIGHT_BENCH_DIR=DIR         where the files go (default /dev/shm, else the build folder)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$root/${FILLWRIGHT_BUILD_DIR:-build}
size=${1:-1073741824}
runs=${FILLWRIGHT_BENCH_RUNS:-7}
cli=${FILLWRIGHT_CLI:-$out/native/fillwright-cli}

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
    if [ -n "$free_kib" ] && [ "$free_kib" -gt $((size / 1024 * 3)) ]; then
        dir=/dev/shm
    else
        dir=$out
    fi
fi
dir=$(mktemp -d "$dir/fillwright-bench-cli.XXXXXX")
trap 'rm -rf "$dir"' EXIT
file=$dir/out.bin

now() { echo "${EPOCHREALTIME/./}"; }  # microseconds

# The commands, by label; run_labelled runs one on $file.
labels=("fillwright-cli -m zero" "head -c N /dev/zero" "fillwright-cli -m random -s 1" "head -c N /dev/urandom")
if command -v openssl >/dev/null 2>&1 && [ "$size" -le 2147483647 ]; then
    labels+=("openssl rand -out FILE N")
fi
labels+=("fillwright-cli -m ascii" "fillwright-cli -m size" "truncate -s N"
    "fillwright-cli -m size --allocate" "fallocate -l N")
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
    esac
}

# Round after round every command runs once, on a fresh file, so that a
# busy moment of the machine falls on all of them alike rather than on one.
declare -A times median
for ((round = 0; round < runs; round++)); do
    for label in "${labels[@]}"; do
        rm -f "$file"
        start=$(now)
        run_labelled "$label"
        end=$(now)
        length=$(stat -c %s "$file")
        if [ "$length" != "$size" ]; then
            echo "bench_cli: '$label' made $length bytes, not $size" >&2
            exit 1
        fi
        times[$label]+="$((end - start)) "
    done
done
rm -f "$file"

rows=()
for label in "${labels[@]}"; do
    sorted=$(printf '%s\n' ${times[$label]} | sort -n)
    median[$label]=$(awk '{ t[NR] = $1 } END {
        m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.4f", m / 1e6 }' <<<"$sorted")
    all=$(awk '{ printf "%.3f ", $1 / 1e6 }' <<<"$sorted")
    rate=$(awk -v s="$size" -v t="${median[$label]}" 'BEGIN { if (t > 0) printf "%.0f MiB/s", s / 1048576 / t; else print "-" }')
    rows+=("$(printf '%-36s %9s s %13s  %s' "$label" "${median[$label]}" "$rate" "$all")")
done

echo "fillwright-cli against shell tools: $size bytes into $(dirname "$dir"), $runs runs each, wall time"
printf '%-36s %11s %13s  %s\n' "command" "median" "rate" "every run (s, sorted)"
printf '%s\n' "${rows[@]}"
echo

# ratio NAME OURS THEIRS TARGET: how many times faster ours is (their time
# over ours), and whether it reaches the target.
ratio() {
    local name=$1 ours=$2 theirs=$3 target=$4
    awk -v n="$name" -v a="${median[$ours]}" -v b="${median[$theirs]}" -v t="$target" 'BEGIN {
        r = (a > 0) ? b / a : 0
        printf "%-52s %7.2fx  (target >= %sx)  %s\n", n, r, t, (r >= t) ? "met" : "NOT MET" }'
}
echo "speed of fillwright-cli relative to the baseline (baseline time / its time):"
ratio "zero   vs head -c N /dev/zero" "fillwright-cli -m zero" "head -c N /dev/zero" 0.9
ratio "random vs head -c N /dev/urandom" "fillwright-cli -m random -s 1" "head -c N /dev/urandom" 2
ratio "ascii  vs fillwright-cli -m zero" "fillwright-cli -m ascii" "fillwright-cli -m zero" 0.9
ratio "size   vs truncate -s (within 2x)" "fillwright-cli -m size" "truncate -s N" 0.5
ratio "size --allocate vs fallocate -l (within 2x)" "fillwright-cli -m size --allocate" "fallocate -l N" 0.5
