#!/usr/bin/env bash
# Measures what Fillwright's own code costs on top of the platform calls it
# makes: each writer against a bare loop of the same write call with the same
# block size and call count, the random block fill against one NextRandom()
# call per byte, and SetSizeWriter against the bare call that sets a length.
# Runs natively (Google Benchmark, files in /dev/shm) and under Wine (the
# Windows bench program, files in its build folder). Each writer runs in
# pairs with its bare loop, one right after the other, and is judged by the
# median over the pairs of the pair's throughput ratio: on a shared machine
# whole runs vary by several per cent, and a pair meets the same conditions. Then times whole shell
# commands on the same sizes for scale, runs scripts/bench_cli.sh if present,
# and ends with the two summary lines that other tools read.
#
#   FILLWRIGHT_BUILD_DIR=DIR          build root (default build)
#   FILLWRIGHT_BENCH_REPETITIONS=N    native repetitions per case (default 21)
#   FILLWRIGHT_BENCH_WINE_REPETITIONS=N  the same under Wine (default 61): on
#                                     a shared machine whole runs under Wine
#                                     vary by 10-15 %, against 3 % natively
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh
source scripts/host.sh
out=${FILLWRIGHT_BUILD_DIR:-build}
reps=${FILLWRIGHT_BENCH_REPETITIONS:-21}
wine_reps=${FILLWRIGHT_BENCH_WINE_REPETITIONS:-61}
winbuild=$(wine_build)

configure() {  # dir [cmake args...]
    local dir=$1
    shift
    mkdir -p "$(dirname "$dir")"
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 || {
            cat "$dir.configure.log"
            exit 1
        }
    fi
}
configure "$out/native"
if [ "$winbuild" = win32 ]; then
    configure "$out/win32" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
else
    configure "$out/win64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
fi
echo "bench: building $out/native and $out/$winbuild"
ninja -C "$out/native" -j2 --quiet bench/engine_bench
ninja -C "$out/$winbuild" -j2 --quiet bench/engine_bench.exe

results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT

# A RAM-backed folder, so that the numbers are about the code, not the disk.
shm=/dev/shm
[ -d "$shm" ] && [ -w "$shm" ] || shm=$root/$out
echo "bench: native cases, $reps interleaved repetitions, files in $shm"
"$out/native/bench/engine_bench" --folder="$shm" \
    --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
    --benchmark_display_aggregates_only=true \
    --benchmark_out="$results/native.json" --benchmark_out_format=json >"$out/bench-native.log" 2>&1 || {
    cat "$out/bench-native.log"
    exit 1
}

reason=$(wine_build_reason)
[ -z "$reason" ] || echo "bench: $reason"
echo "bench: Windows cases under Wine ($winbuild), $wine_reps alternating repetitions, files in $out/$winbuild/bench"
(cd "$out/$winbuild/bench" && FILLWRIGHT_BUILD_DIR=$out "$root/scripts/wine.sh" "$winbuild" engine_bench.exe . "$wine_reps") \
    >"$results/wine.txt" 2>"$out/bench-wine.log" || {
    cat "$out/bench-wine.log"
    exit 1
}

# Whole commands on the same sizes, process start included, round by round.
echo "bench: shell commands on the same sizes, $reps rounds, files in $shm"
data=$((256 << 20))
size=$((4 << 30))
file=$(mktemp "$shm/fillwright-bench-cmd.XXXXXX")
run_command() {
    case $1 in
        dd-zero) dd if=/dev/zero of="$file" bs=1024 count=$((data / 1024)) status=none ;;
        head-zero) head -c "$data" /dev/zero >"$file" ;;
        head-urandom) head -c "$data" /dev/urandom >"$file" ;;
        truncate) truncate -s "$size" "$file" ;;
    esac
}
for ((round = 0; round < reps; round++)); do
    for name in dd-zero head-zero head-urandom truncate; do
        rm -f "$file"
        start=${EPOCHREALTIME/./}
        run_command "$name"
        end=${EPOCHREALTIME/./}
        echo "$name $((end - start))" >>"$results/commands.txt"
    done
done
rm -f "$file"

python3 - "$results" "$winbuild" >"$results/report.txt" <<'EOF'
import json, statistics, sys

results, winbuild = sys.argv[1], sys.argv[2]
MIB = 1 << 20

# Per build: cases, name -> (seconds per run, what one run does), and pairs,
# name -> (median over the pairs of the throughput ratio to the baseline,
# baseline case). Cases measured in pairs are judged by that median, which
# cancels the machine's slow spells better than a ratio of two medians.
def native_cases():
    with open(f"{results}/native.json") as f:
        runs = json.load(f)["benchmarks"]
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    units = {"ZeroWriter": 256 * MIB, "RandomWriter": 256 * MIB, "AsciiWriter": 64 * MIB,
             "FillRandom": 1024, "FillRandomPortable": 1024, "NextRandomPerByte": 1024,
             "SetSizeWriter": 1, "Ftruncate": 1}
    bare = {"ZeroWriter": "BareWrite1024", "RandomWriter": "BareWrite1024", "AsciiWriter": "BareWrite64"}
    cases, pairs, bare_seconds = {}, {}, {}
    for run in runs:
        if run.get("run_type") == "aggregate" and run.get("aggregate_name") == "median":
            name = run["run_name"].split("/")[0]
            cases[name] = (run["real_time"] * scale[run["time_unit"]], units[name])
            if name in bare:
                pairs[name] = (run["vs_bare"], bare[name])
                bare_seconds.setdefault(bare[name], []).append(run["bare_s"])
    for name, seconds in bare_seconds.items():
        cases[name] = (statistics.median(seconds), units["AsciiWriter" if name == "BareWrite64" else "ZeroWriter"])
    return cases, pairs

def wine_cases():
    base = {"ZeroWriter": "BareWrite1024", "RandomWriter": "BareWrite1024", "AsciiWriter": "BareWrite64",
            "FillRandom": "NextRandomPerByte", "FillRandomPortable": "NextRandomPerByte",
            "SetSizeWriter": "SetEndOfFile"}
    cases, pairs = {}, {}
    with open(f"{results}/wine.txt") as f:
        for line in f:
            words = line.split()
            if len(words) == 5 and words[0] == "median":
                cases[words[1]] = (float(words[2]), float(words[3]))
            elif len(words) == 3 and words[0] == "pair-ratio":
                pairs[words[1]] = (float(words[2]), base[words[1]])
    return cases, pairs

def per_unit(cases, name):
    seconds, units = cases[name]
    return seconds / units

(native, native_pairs), (wine, wine_pairs) = native_cases(), wine_cases()
rows, writer_ratios = [], []

def mibs(cases, name):
    return f"{1 / per_unit(cases, name) / MIB:,.0f} MiB/s"

def nsb(cases, name):
    return f"{per_unit(cases, name) * 1e9:.3f} ns/B"

def usc(cases, name):
    return f"{per_unit(cases, name) * 1e6:.2f} µs"

def row(build, label, cases, pairs, ours, base, show, base_label, writer=False):
    if ours in pairs and pairs[ours][1] == base:
        ratio = pairs[ours][0]
    else:
        ratio = per_unit(cases, base) / per_unit(cases, ours)  # throughput ours / baseline
    if writer:
        writer_ratios.append(ratio)
    rows.append((build, label, show(cases, ours), f"{show(cases, base)} ({base_label})", f"{ratio:.2f}"))

for build, cases, pairs, write, size_call in (
        ("native", native, native_pairs, "write()", ("Ftruncate", "ftruncate()")),
        (f"Wine {winbuild}", wine, wine_pairs, "WriteFile", ("SetEndOfFile", "SetEndOfFile"))):
    row(build, "ZeroWriter, 256 MiB", cases, pairs, "ZeroWriter", "BareWrite1024", mibs, f"bare {write}, 1024 B", True)
    row(build, "RandomWriter, 256 MiB", cases, pairs, "RandomWriter", "BareWrite1024", mibs, f"bare {write}, 1024 B", True)
    row(build, "AsciiWriter, 64 MiB", cases, pairs, "AsciiWriter", "BareWrite64", mibs, f"bare {write}, 64 B", True)
    row(build, "FillRandom, 1 KiB blocks", cases, pairs, "FillRandom", "NextRandomPerByte", nsb, "NextRandom() per byte")
    row(build, "portable fill (fallback)", cases, pairs, "FillRandomPortable", "NextRandomPerByte", nsb, "NextRandom() per byte")
    row(build, "SetSizeWriter, 4 GiB", cases, pairs, "SetSizeWriter", size_call[0], usc, f"{size_call[1]} alone")
# Each writer's throughput relative to its own neighbouring bare loops, so the
# quotient is RandomWriter's throughput over ZeroWriter's with drift removed.
random_vs_zero = native_pairs["RandomWriter"][0] / native_pairs["ZeroWriter"][0]
rows.append(("native", "RandomWriter vs ZeroWriter", mibs(native, "RandomWriter"),
             f"{mibs(native, 'ZeroWriter')} (ZeroWriter)", f"{random_vs_zero:.2f}"))
print("| build | case | ours | baseline | ratio |")
print("|---|---|---|---|---:|")
for r in rows:
    print("| " + " | ".join(r) + " |")
print()

# Whole commands, against the engine's own writer for the same job.
times = {}
with open(f"{results}/commands.txt") as f:
    for line in f:
        name, micros = line.split()
        times.setdefault(name, []).append(int(micros) * 1e-6)
commands = (("dd if=/dev/zero bs=1024 count=262144", "dd-zero", 256 * MIB, "ZeroWriter"),
            ("head -c 256MiB /dev/zero", "head-zero", 256 * MIB, "ZeroWriter"),
            ("head -c 256MiB /dev/urandom", "head-urandom", 256 * MIB, "RandomWriter"),
            ("truncate -s 4GiB", "truncate", None, "SetSizeWriter"))
print("| whole command (process start included) | median | engine writer, native | writer / command |")
print("|---|---|---|---:|")
for label, name, size, writer in commands:
    t = statistics.median(times[name])
    ours = native[writer][0]
    if size:
        print(f"| {label} | {size / t / MIB:,.0f} MiB/s | {writer} {size / ours / MIB:,.0f} MiB/s | {t / ours:.2f} |")
    else:
        print(f"| {label} | {t * 1e6:,.0f} µs | {writer} {ours * 1e6:,.2f} µs | {t / ours:.2f} |")
print()
print(f"R1 {min(writer_ratios):.2f}")
print(f"R2 {random_vs_zero:.2f}")
EOF

echo
echo "Fillwright engine against bare platform calls (ratio: our throughput / the baseline's, the median over the pairs, or of the runs each: $reps natively, $wine_reps under Wine)"
echo
grep -v '^R[12] ' "$results/report.txt"
echo "raw output: $out/bench-native.log, $out/bench-wine.log"
r1=$(awk '$1 == "R1" { print $2 }' "$results/report.txt")
r2=$(awk '$1 == "R2" { print $2 }' "$results/report.txt")

if [ -f scripts/bench_cli.sh ]; then
    echo
    echo "bench: scripts/bench_cli.sh"
    bash scripts/bench_cli.sh || echo "bench: scripts/bench_cli.sh exited with status $?"
fi

echo
echo "worst writer/raw throughput ratio: $r1"
echo "random/zero throughput ratio: $r2"
