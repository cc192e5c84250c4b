# Sourced by bench_cli.sh: the drive test's rows. Uses its cli, size, runs,
# dir, times, median, now, summarise, print_table and ratio.

drive_rows() {
    source "$root/tests/drives/drives.sh"
    local why
    why=$(loop_unavailable)
    # Not a pipe into grep -q: that would end the program early, and the
    # pipe would fail under pipefail.
    if [ -z "$why" ] && [[ "$("$cli" --help 2>&1)" != *--fill* ]]; then
        why="this fillwright-cli has no --fill"
    fi
    if [ -n "$why" ]; then
        echo "drive test rows: not run: $why"
        return 0
    fi
    local f3=1
    if ! command -v f3write >/dev/null 2>&1; then
        echo "bench: installing Debian's f3, the reference for the drive test"
        if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends f3 >/dev/null ||
            { echo "bench: f3 could not be installed: its rows are left out"; f3=0; }
    fi

    drives_begin "$dir" || return 1
    trap 'drives_end; rm -rf "$dir"' EXIT
    ext4_drive bench "$size" || return 1
    drive_table bench "an ext4 image of $size bytes in $dir, loop-mounted with direct I/O" $f3
    drive_remove bench
    # The image above moves as fast as the processor copies memory, which
    # both the test and dd share with its loop device. A drive of a set
    # speed is what the test meets in use: there the drive is the bound.
    why=$(fake_unavailable)
    if [ -n "$why" ]; then
        echo "drive test rows on a drive of a set speed: not run: $why"
        return 0
    fi
    rated_drive rated "$rated_size" "$rated_bits"
    drive_table rated "an honest drive of $rated_size bytes that moves $rated_bits bits/s (nbdkit memory, rate filter)" $f3
    in_flight rated
    drive_remove rated
}

# How many requests the drive had in flight while each command ran, from
# its loop device's counters: one large request of a program reaches the
# drive as several, up to the device's largest request each.
in_flight() {  # NAME
    local mnt=${drive_mount[$1]} device total
    device=$(basename "${drive_loop[$1]}")
    find "$mnt" -mindepth 1 -maxdepth 1 ! -name lost+found -exec rm -rf {} +
    total=$(stat -f -c '%a %S' "$mnt" | awk '{ print int($1 * $2 / 1048576) * 1048576 }')
    echo "requests in flight at the drive ($device takes at most $(cat "/sys/block/$device/queue/max_sectors_kb") KiB each)," \
        "sampled while the command ran: share of the time with 0 / 1 / 2 or more"
    local label
    for label in "fillwright-cli --fill --no-verify" "fillwright-cli --verify" "dd of=F bs=1M oflag=direct" \
        "dd if=F bs=1M iflag=direct"; do
        case $label in
            "fillwright-cli --verify" | "dd if="*) ;;
            *) find "$mnt" -mindepth 1 -maxdepth 1 ! -name lost+found -exec rm -rf {} + ;;
        esac
        drive_command "$label" "$mnt" "$total" &
        local pid=$! counts=() reads writes
        # Builtins only: a process started per sample would take the cores.
        while kill -0 "$pid" 2>/dev/null; do
            read -r reads writes <"/sys/block/$device/inflight"
            counts+=("$((reads + writes))")
        done
        wait "$pid"
        # From the first request to the last: not the program's start and end.
        printf '%s\n' "${counts[@]}" | awk -v label="$label" '{ n[NR] = $1 } END {
            for (i = 1; i <= NR; i++) if (n[i] > 0) { if (!first) first = i; last = i }
            for (i = first; i <= last; i++) { all++; if (n[i] == 0) none++; else if (n[i] == 1) one++; else more++ }
            if (all) printf "  %-36s %5.1f%% / %5.1f%% / %5.1f%%\n", label, 100 * none / all, 100 * one / all, 100 * more / all }'
    done
}

rated_size=${FILLWRIGHT_BENCH_RATED_SIZE:-268435456}
rated_bits=${FILLWRIGHT_BENCH_RATED_BITS:-2400M}

drive_table() {  # NAME DESCRIPTION F3
    local mnt=${drive_mount[$1]} description=$2 f3=$3 free total
    free=$(stat -f -c '%a %S' "$mnt" | awk '{ print $1 * $2 }')
    total=$((free / 1048576 * 1048576))

    # dd with conv=fsync as well: the drive test syncs each file it wrote,
    # which plain dd leaves to the system.
    local labels=("fillwright-cli --fill --no-verify" "fillwright-cli --verify"
        "dd ... oflag=direct conv=fsync" "dd of=F bs=1M oflag=direct" "dd if=F bs=1M iflag=direct"
        "fillwright-cli --fill (whole test)")
    [ "$f3" -eq 0 ] || labels+=("f3write" "f3read")
    times=()
    # Each command that writes starts on an empty file system; each that
    # reads reads what the command before it wrote.
    local round label start end
    for ((round = 0; round < runs; round++)); do
        for label in "${labels[@]}"; do
            case $label in
                "fillwright-cli --verify" | "dd if="* | f3read) ;;
                *) find "$mnt" -mindepth 1 -maxdepth 1 ! -name lost+found -exec rm -rf {} + ;;
            esac
            # A drive of a set speed lets a short burst through after a
            # pause: each command starts after the same pause.
            sleep 0.3
            start=$(now)
            if ! drive_command "$label" "$mnt" "$total"; then
                echo "bench_cli: '$label' failed" >&2
                return 1
            fi
            end=$(now)
            times[$label]+="$((end - start)) "
        done
    done
    for label in "${labels[@]}"; do summarise "$label" "$total"; done

    echo "the drive test on $description: $total bytes (the whole free space, to 1 MiB), $runs runs each, wall time"
    echo "load average when done (1, 5, 15 min): $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
    print_table
    echo "speed of the drive test relative to the baseline (baseline time / its time):"
    ratio "--fill --no-verify vs dd oflag=direct" "fillwright-cli --fill --no-verify" "dd of=F bs=1M oflag=direct" 0.95
    ratio "--verify vs dd iflag=direct" "fillwright-cli --verify" "dd if=F bs=1M iflag=direct" 0.95
    awk -v w="${median["dd of=F bs=1M oflag=direct"]}" -v r="${median["dd if=F bs=1M iflag=direct"]}" \
        -v t="${median["fillwright-cli --fill (whole test)"]}" 'BEGIN {
        x = (w + r > 0) ? t / (w + r) : 0
        printf "%-52s %7.2fx  (target <= 1.05x)  %s\n", "whole test / (dd write + dd read), time", x, (x <= 1.05) ? "met" : "NOT MET" }'
    echo "for comparison (their time / ours):"
    plain_ratio "--fill --no-verify vs dd oflag=direct conv=fsync" "${median["fillwright-cli --fill --no-verify"]}" \
        "${median["dd ... oflag=direct conv=fsync"]}"
    if [ "$f3" -eq 1 ]; then
        plain_ratio "whole test vs f3write + f3read" "${median["fillwright-cli --fill (whole test)"]}" \
            "$(awk -v w="${median[f3write]}" -v r="${median[f3read]}" 'BEGIN { print w + r }')"
    fi
    echo
}

plain_ratio() {  # NAME OUR_SECONDS THEIR_SECONDS
    awk -v n="$1" -v a="$2" -v b="$3" 'BEGIN { printf "%-52s %7.2fx\n", n, (a > 0) ? b / a : 0 }'
}

drive_command() {  # LABEL MOUNTPOINT TOTAL
    local mnt=$2 total=$3
    case $1 in
        "fillwright-cli --fill --no-verify") "$cli" --fill --no-verify --total "$total" "$mnt" >/dev/null ;;
        "dd of=F bs=1M oflag=direct")
            dd if=/dev/zero of="$mnt/dd.bin" bs=1M count=$((total / 1048576)) oflag=direct status=none ;;
        "dd ... oflag=direct conv=fsync")
            dd if=/dev/zero of="$mnt/dd.bin" bs=1M count=$((total / 1048576)) oflag=direct conv=fsync status=none ;;
        "fillwright-cli --verify") "$cli" --verify "$mnt" >/dev/null ;;
        "dd if=F bs=1M iflag=direct") dd if="$mnt/dd.bin" of=/dev/null bs=1M iflag=direct status=none ;;
        "fillwright-cli --fill (whole test)") "$cli" --fill "$mnt" >/dev/null ;;
        f3write) f3write "$mnt" >/dev/null ;;
        f3read) f3read "$mnt" >/dev/null ;;
    esac
}
