#!/usr/bin/env bash
# Measures what Fillwright's own code costs on top of the platform calls it
# makes: each writer against a bare loop of the same write call with the same
# block size and call count, the random block fill against one NextRandom()
# call per byte, and SetSizeWriter against the bare call that sets a length.
# Runs natively (Google Benchmark, files in /dev/shm) and under Wine (the
# Windows bench program, files in its build folder); repetitions interleave
# each case with its baseline and medians are shown. Then times whole shell
# commands on the same sizes for scale, runs scripts/bench_cli.sh if present,
# and ends with the two summary lines that other tools read.
#
#   FILLWRIGHT_BUILD_DIR=DIR          build root (default build)
#   FILLWRIGHT_BENCH_REPETITIONS=N    repetitions per case (default 11)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh
source scripts/host.sh
out=${FILLWRIGHT_BUILD_DIR:-build}
reps=${FILLWRIGHT_BENCH_REPETITIONS:-11}
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

if [ "$winbuild" = win64 ]; then
    echo "bench: this host cannot run 32-bit x86 code; the Windows cases run on the 64-bit build"
fi
echo "bench: Windows cases under Wine ($winbuild), $reps alternating repetitions, files in $out/$winbuild/bench"
(cd "$out/$winbuild/bench" && FILLWRIGHT_BUILD_DIR=$out "$root/scripts/wine.sh" "$winbuild" engine_bench.exe . "$reps") \
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

# Seconds per run and what one run does, per case, for each build.
def native_cases():
    with open(f"{results}/native.json") as f:
        runs = json.load(f)["benchmarks"]
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    units = {"ZeroWriter": 256 * MIB, "RandomWriter": 256 * MIB, "BareWrite1024": 256 * MIB,
             "AsciiWriter": 64 * MIB, "BareWrite64": 64 * MIB, "FillRandom": 1024,
             "FillRandomPortable": 1024, "NextRandomPerByte": 1024, "SetSizeWriter": 1, "Ftruncate": 1}
    cases = {}
    for run in runs:
        if run.get("run_type") == "aggregate" and run.get("aggregate_name") == "median":
            name = run["run_name"].split("/")[0]
            cases[name] = (run["real_time"] * scale[run["time_unit"]], units[name])
    return cases

def wine_cases():
    cases = {}
    with open(f"{results}/wine.txt") as f:
        for line in f:
            words = line.split()
            if len(words) == 5 and words[0] == "median":
                cases[words[1]] = (float(words[2]), float(words[3]))
    return cases

def per_unit(cases, name):
    seconds, units = cases[name]
    return seconds / units

native, wine = native_cases(), wine_cases()
rows, writer_ratios = [], []

def mibs(cases, name):
    return f"{1 / per_unit(cases, name) / MIB:,.0f} MiB/s"

def nsb(cases, name):
    return f"{per_unit(cases, name) * 1e9:.3f} ns/B"

def usc(cases, name):
    return f"{per_unit(cases, name) * 1e6:.2f} µs"

def row(build, label, cases, ours, base, show, base_label, writer=False):
    ratio = per_unit(cases, base) / per_unit(cases, ours)  # throughput ours / baseline
    if writer:
        writer_ratios.append(ratio)
    rows.append((build, label, show(cases, ours), f"{show(cases, base)} ({base_label})", f"{ratio:.2f}"))

for build, cases, write, size_call in (("native", native, "write()", ("Ftruncate", "ftruncate()")),
                                        (f"Wine {winbuild}", wine, "WriteFile", ("SetEndOfFile", "SetEndOfFile"))):
    row(build, "ZeroWriter, 256 MiB", cases, "ZeroWriter", "BareWrite1024", mibs, f"bare {write}, 1024 B", True)
    row(build, "RandomWriter, 256 MiB", cases, "RandomWriter", "BareWrite1024", mibs, f"bare {write}, 1024 B", True)
    row(build, "AsciiWriter, 64 MiB", cases, "AsciiWriter", "BareWrite64", mibs, f"bare {write}, 64 B", True)
    row(build, "FillRandom, 1 KiB blocks", cases, "FillRandom", "NextRandomPerByte", nsb, "NextRandom() per byte")
    row(build, "portable fill (fallback)", cases, "FillRandomPortable", "NextRandomPerByte", nsb, "NextRandom() per byte")
    row(build, "SetSizeWriter, 4 GiB", cases, "SetSizeWriter", size_call[0], usc, f"{size_call[1]} alone")
random_vs_zero = per_unit(native, "ZeroWriter") / per_unit(native, "RandomWriter")
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
echo "Fillwright engine against bare platform calls (ratio: our throughput / the baseline's; medians of $reps)"
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
