#!/usr/bin/env bash
# The drive test on the real kernel path: fillwright-cli --fill and --verify
# on ext4 file systems on loop devices with direct I/O, honest drives and
# counterfeit ones (fake_drive.py served by nbdkit, shown as a file by
# nbdfuse). It needs root, loop devices and FUSE: where the host lacks them,
# each test says that it did not run and why, and counts neither as passed
# nor as failed. Exits 1 if any failed, else 77 if any did not run.
#
#   real_drives.sh [TEST-NAME-PATTERN]
#   FILLWRIGHT_CLI=PATH   the program (default BUILD/native/fillwright-cli)
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
cli=${FILLWRIGHT_CLI:-$root/${FILLWRIGHT_BUILD_DIR:-build}/native/fillwright-cli}
source "$here/drives.sh"

# The option of --fill that writes on to the end past an early verdict.
write_on_option=--keep-going

MiB=1048576
# The counterfeit drives: ext4 puts the first file in its second block
# group (from 128 MiB in), so with 200 MiB real the set's first 60-odd MiB
# lie on real storage and the rest beyond it.
real_size=$((200 * MiB))
claimed_size=$((2048 * MiB))

free_bytes() {  # DIR: what statvfs says a user can write there
    stat -f -c '%a %S' "$1" | awk '{ print $1 * $2 }'
}

# run NAME ARGS...: runs the program; its exit status goes to $status, its
# output to $drives_dir/NAME.out (and .err), its last JSON line to $summary.
declare -A summary
run() {
    local name=$1
    shift
    "$cli" "$@" >"$drives_dir/$name.out" 2>"$drives_dir/$name.err" </dev/null
    status=$?
    read_summary "$drives_dir/$name.out"
}

# The last line of a JSON Lines output into $summary, one entry per field
# ("lost.CLASS" for the fields of "lost"); lines that are not JSON are
# counted in summary[not_json].
read_summary() {  # FILE
    summary=()
    local key value
    while IFS=$'\t' read -r key value; do
        summary[$key]=$value
    done < <(python3 - "$1" <<'EOF'
import json, sys
objects, not_json = [], 0
for line in open(sys.argv[1]):
    if line.strip():
        try:
            objects.append(json.loads(line))
        except ValueError:
            not_json += 1
print("not_json\t%d" % not_json)
def show(key, value):
    if isinstance(value, dict):
        for k, v in value.items():
            show(key + "." + k, v)
    else:
        print("%s\t%s" % (key, json.dumps(value).strip('"')))
if objects and isinstance(objects[-1], dict):
    for k, v in objects[-1].items():
        show(k, v)
EOF
)
}

# expect WHAT ACTUAL TEST EXPECTED: one check; TEST is = or != for text,
# -lt -le -gt -ge for numbers (decimals too).
expect() {
    local what=$1 actual=$2 op=$3 wanted=$4 holds=1
    case $op in
        =) [ "$actual" = "$wanted" ] || holds=0 ;;
        !=) [ "$actual" != "$wanted" ] || holds=0 ;;
        *)
            [[ "$actual" =~ ^-?[0-9]+(\.[0-9]+)?([eE][-+]?[0-9]+)?$ ]] &&
                awk -v a="$actual" -v op="$op" -v b="$wanted" 'BEGIN {
                    exit !((op == "-lt" && a < b) || (op == "-le" && a <= b) || (op == "-gt" && a > b) || (op == "-ge" && a >= b)) }' ||
                holds=0
            ;;
    esac
    if [ $holds -eq 0 ]; then
        echo "    $what: got '$actual', expected $op $wanted"
        test_failed=1
    fi
}

# expect_summary NAME FIELD TEST EXPECTED: a check on a field of the summary.
expect_summary() {
    expect "$1: \"$2\"" "${summary[$2]:-(missing)}" "$3" "$4"
}

# What every run must show: its exit status, only JSON Lines, and a result.
expect_run() {  # NAME STATUS RESULT
    expect "$1: exit status" "$status" = "$2"
    expect "$1: lines that are not JSON" "${summary[not_json]}" = 0
    expect_summary "$1" result = "$3"
    if [ "$status" != "$2" ] || [ "${summary[result]:-}" != "$3" ]; then
        sed 's/^/      | /' "$drives_dir/$1.err" | tail -5
    fi
}

# An honest drive: the fill reaches the end of the free space, everything
# reads back intact past the caches, and again after the drive is re-plugged.
test_honest_drive() {
    ext4_drive honest $((128 * MiB)) || return 1
    local dir=${drive_mount[honest]} free
    free=$(free_bytes "$dir")
    run fill --fill --json "$dir"
    expect_run fill 0 ok
    expect_summary fill read_back = direct
    expect_summary fill bytes_lost = 0
    expect_summary fill first_bad_offset = null
    expect_summary fill bytes_ok = "${summary[bytes_written]:-}"
    expect_summary fill write_bytes_per_second -gt 0
    expect_summary fill read_bytes_per_second -gt 0
    local written=${summary[bytes_written]:-0}
    expect "fill: bytes of the free space left untested" $((free - written)) -lt $MiB
    expect "fill: bytes written beyond the free space" $((written - free)) -le 0
    expect "free space left after the fill" "$(free_bytes "$dir")" -lt $MiB

    drive_replug honest || return 1
    run verify --verify --json "$dir"
    expect_run verify 0 ok
    expect_summary verify bytes_ok = "$written"
    expect_summary verify bytes_lost = 0
    expect_summary verify read_back = direct
    drive_remove honest
}

# Ctrl-C in the middle of a fill leaves a set that --verify reads and that
# the next --fill carries on with. The drive is slow (10 MB/s) until the
# interrupt, so that the interrupt surely falls in the middle.
test_interrupted_fill_resumes() {
    fake_drive slow $((128 * MiB)) $((128 * MiB)) wrap 80M || return 1
    local dir=${drive_mount[slow]} free pid tries
    free=$(free_bytes "$dir")
    # Its own process group, where SIGINT is not ignored as it is for the
    # background commands of a script.
    set -m
    "$cli" --fill --json --file-size $((16 * MiB)) "$dir" >"$drives_dir/interrupted.out" \
        2>"$drives_dir/interrupted.err" </dev/null &
    pid=$!
    set +m
    drives_own "$pid"
    for ((tries = 0; tries < 600; tries++)); do
        [ "$(free_bytes "$dir")" -gt $((free - 40 * MiB)) ] || break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -INT "$pid"
    wait "$pid"
    status=$?
    read_summary "$drives_dir/interrupted.out"
    expect "interrupted: exit status" "$status" != 0
    expect_summary interrupted result = interrupted
    local written=${summary[bytes_written]:-0}
    expect "interrupted: bytes written" "$written" -gt 0
    expect "interrupted: bytes written" "$written" -lt $((free - 16 * MiB))

    drive_set_rate slow 0
    run verify-interrupted --verify --json "$dir"
    expect_run verify-interrupted 0 ok
    expect_summary verify-interrupted bytes_ok = "$written"

    # The set's first block names its run: a fill that started over would
    # write a new one.
    local first=fillwright-drivetest-00001.bin first_block
    expect "interrupted: bytes in $first" "$(stat -c %s "$dir/$first" 2>/dev/null)" -ge 4096
    first_block=$(dd if="$dir/$first" bs=4096 count=1 iflag=direct status=none | sha256sum)
    run resume --fill --json "$dir"
    expect_run resume 0 ok
    expect_summary resume resumed_at -gt 0
    expect "resume: first block of $first (unchanged if resumed)" \
        "$(dd if="$dir/$first" bs=4096 count=1 iflag=direct status=none | sha256sum)" = "$first_block"
    expect "resume: free space left" "$(free_bytes "$dir")" -lt $MiB

    drive_replug slow || return 1
    run verify --verify --json "$dir"
    expect_run verify 0 ok
    expect_summary verify bytes_ok -gt $((free - MiB))
    drive_remove slow
}

# A counterfeit drive: the test stops early, says data was lost, and where;
# what it finds matches what must be lost given the file system's block map
# and the way the drive lies (expected_loss.py). On a wrapping drive the file
# system's own metadata, written back during the fill, also lands on a few
# blocks of the set: up to 1 MiB fewer may read back intact than the map says.
# With the write-on option the test fills the whole claimed size instead.
counterfeit_drive() {  # MODE [OPTION]
    local mode=$1 option=${2:-}
    fake_drive fake "$claimed_size" "$real_size" "$mode" || return 1
    local dir=${drive_mount[fake]} free
    free=$(free_bytes "$dir")
    run fill --fill --json ${option:+"$option"} "$dir"
    expect_run fill 1 lost
    expect_summary fill read_back = direct
    expect_summary fill bytes_lost -gt 0
    expect_summary fill bytes_ok -le "$real_size"
    local written=${summary[bytes_written]:-0}
    if [ -n "$option" ]; then
        expect "fill $option: bytes of the free space left untested" $((free - written)) -lt $MiB
    else
        expect "fill: bytes written (stopped early)" "$written" -lt $((free / 2))
    fi
    local ok first_bad slack=0 found=${summary[bytes_ok]:-0}
    read -r ok first_bad < <(python3 "$here/expected_loss.py" "$dir" "$real_size" "$mode")
    [ "$mode" = drop ] || slack=$MiB
    expect_summary fill first_bad_offset = "$first_bad"
    expect "fill: bytes_ok short of the block map's $ok" $((ok - found)) -ge 0
    expect "fill: bytes_ok short of the block map's $ok" $((ok - found)) -le $slack
    expect_summary fill bytes_lost = $((written - found))
    drive_remove fake
}

test_counterfeit_drive_wrapping() { counterfeit_drive wrap; }
test_counterfeit_drive_dropping() { counterfeit_drive drop; }
# Dropping, not wrapping: a wrapping drive overwrites the file system's own
# bitmaps too, and ext4 then stops using the space they describe.
test_counterfeit_drive_written_to_the_end() { counterfeit_drive drop "$write_on_option"; }

# The drive's real capacity after an early stop, from where ext4 put the
# set on the drive: a dropping drive's real size lies in the interval, a
# folding one's is the fold; on the whole drive and on a partition from
# 1 MiB (whose start the drive offsets include), with files smaller than
# the drive. The text gives the figure and where a partition must end.
real_capacity() {  # MODE [partitioned]
    local mode=$1 words
    [ -z "${2:-}" ] || drive_partitioned[cap]=1
    fake_drive cap "$claimed_size" "$real_size" "$mode" || return 1
    local dir=${drive_mount[cap]}
    run cap --fill --json --file-size $((32 * MiB)) "$dir"
    expect_run cap 1 lost
    expect "cap: bytes written (stopped early)" "${summary[bytes_written]:-0}" -lt $((claimed_size / 2))
    expect_summary cap claimed_capacity = "$claimed_size"
    expect_summary cap real_capacity_unknown_because = null
    expect_summary cap real_capacity.at_least -le "$real_size"
    expect_summary cap real_capacity.at_most -ge "$real_size"
    local at_least=${summary[real_capacity.at_least]:-}
    [ "$mode" = drop ] || expect "cap: the fold" "$at_least ${summary[real_capacity.at_most]:-}" = "$real_size $real_size"
    run cap-text --verify "$dir"
    # Shown as the test goes; not through tee /dev/stderr, which would
    # truncate a log that stderr is redirected to.
    words=$(grep -E '^(Real capacity|To use the drive)' "$drives_dir/cap-text.out")
    printf '%s\n' "$words" >&2
    expect "cap-text: the figure's line" "$(grep -c "^Real capacity: .* of the $claimed_size bytes (2.15 GB, 2.00 GiB) the drive claims; " <<<"$words")" = 1
    local advice="To use the drive safely, end its partition before byte $at_least of the drive"
    [ -z "${2:-}" ] || advice+=": this partition begins at byte $MiB, so at most $((at_least - MiB)) bytes"
    expect "cap-text: the advice" "$(grep -c "^$advice" <<<"$words")" = 1
    drive_remove cap
}

test_real_capacity_dropping() { real_capacity drop; }
test_real_capacity_dropping_partition() { real_capacity drop partitioned; }
test_real_capacity_folding() { real_capacity wrap; }
test_real_capacity_folding_partition() { real_capacity wrap partitioned; }

# btrfs's extent maps hold its own addresses: no figure, and the reason.
test_real_capacity_unknown_on_btrfs() {
    drive_fs[bt]=btrfs
    ext4_drive bt $((256 * MiB)) || return 1
    run bt --fill --json --total $((32 * MiB)) --file-size $((16 * MiB)) "${drive_mount[bt]}"
    expect_run bt 0 ok
    expect_summary bt real_capacity = null
    expect_summary bt real_capacity_unknown_because = "btrfs gives addresses of its own, not the drive's"
    drive_remove bt
}

# A file system without direct I/O: the read-back goes through the page
# cache and says how far that can be trusted, in JSON and in words. ext4
# with data=journal takes O_DIRECT opens yet serves them from the cache (its
# statx says it has no direct I/O): the cache is dropped and seen empty.
# ramfs refuses O_DIRECT (EINVAL) and its cache is its only storage, so no
# read can be shown to come from elsewhere.
read_back_without_direct_io() {  # NAME READ_BACK WORDS
    local dir=${drive_mount[$1]} total=$((40 * MiB))
    run "fill-$1" --fill --json --total $total --file-size $((16 * MiB)) "$dir"
    expect_run "fill-$1" 0 ok
    expect_summary "fill-$1" read_back = "$2"
    expect_summary "fill-$1" bytes_ok = $total
    run "verify-$1" --verify "$dir"
    expect "verify-$1: exit status" "$status" = 0
    expect "verify-$1: its report" "$(grep -E '^(Usable|Read back)' "$drives_dir/verify-$1.out")" = \
        "Read back intact: $total bytes, 0.04 GB (0.04 GiB), of the $total bytes written"$'\n'"Read back: $3"
    drive_remove "$1"
}

test_journalled_ext4_drops_its_cache() {
    ext4_drive journal $((128 * MiB)) data=journal || return 1
    read_back_without_direct_io journal "cache dropped" "through the system's cache, emptied first"
}
# ramfs: nothing read there can be shown to come from a drive, so nothing is
# proven, and the exit status says so.
test_ramfs_may_be_cached() {
    ramfs_drive ram || return 1
    local dir=${drive_mount[ram]} total=$((40 * MiB))
    run fill-ram --fill --json --total $total --file-size $((16 * MiB)) "$dir"
    expect_run fill-ram 1 unproven
    expect_summary fill-ram read_back = "may be cached"
    expect_summary fill-ram read_back_reason = "ramfs keeps its files only in memory"
    expect_summary fill-ram bytes_ok = $total
    run verify-ram --verify "$dir"
    expect "verify-ram: exit status" "$status" = 1
    expect "verify-ram: its report" "$(grep -E '^(Verdict|Read back|  Why)' "$drives_dir/verify-ram.out")" = \
        "Verdict: not proven: what was read back may have come from this computer's memory, not from the drive."$'\n'"Read back intact: $total bytes, 0.04 GB (0.04 GiB), of the $total bytes written"$'\n'"Read back: may have come from the system's memory"$'\n'"  Why: ramfs keeps its files only in memory"
    drive_remove ram
}

# run_as_nobody NAME ARGS...: as run, by a user without rights to the
# devices, with a copy of the program that user may read.
run_as_nobody() {
    local name=$1
    shift
    if [ ! -x "$drives_dir/bin/fillwright-cli" ]; then
        mkdir -p "$drives_dir/bin" && cp "$cli" "$drives_dir/bin/" && chmod 755 "$drives_dir/bin" "$drives_dir/bin/fillwright-cli"
        chmod 711 "$drives_dir"
    fi
    runuser -u nobody -- "$drives_dir/bin/fillwright-cli" "$@" >"$drives_dir/$name.out" 2>"$drives_dir/$name.err" </dev/null
    status=$?
    read_summary "$drives_dir/$name.out"
}

# A counterfeit drive formatted with a FUSE file system, whose server reads
# the drive through the drive's own page cache. As root the test empties
# that cache and finds the fake; as a user who cannot open the device it
# cannot, so it proves nothing; once the drive is attached again nothing of
# it can be cached, and --verify by that user finds the loss.
fuse_counterfeit() {  # FS REAL
    fuse_fake_drive fake $((1024 * MiB)) "$2" drop "$1" || return 1
    local dir=${drive_mount[fake]}
    run fill --fill --json "$dir"
    expect_run fill 1 lost
    expect_summary fill read_back = "cache dropped"
    expect_summary fill bytes_ok -le "$2"
    expect_summary fill bytes_lost -gt 0
    cp "$drives_dir/fill.out" "$drives_dir/fill-root.out"

    # Without the rights to empty the device's cache, what was read may have
    # come from it: unproven. The kernel need not keep every page the fill
    # wrote until it is read (seen: now and then some hundred KiB past the
    # real size read back blank), and a loss found is a loss: then lost.
    run_as_nobody nobody --fill --json "$dir"
    if [ "${summary[result]:-}" = lost ]; then
        expect_run nobody 1 lost
        expect_summary nobody bytes_lost -gt 0
    else
        expect_run nobody 1 unproven
        expect_summary nobody bytes_lost = 0
    fi
    expect_summary nobody read_back = "may be cached"
    expect_summary nobody read_back_reason = "cannot open ${drive_loop[fake]} to empty its cache: Permission denied"
    run_as_nobody nobody-text --verify "$dir"
    expect "nobody-text: exit status" "$status" = 1
    expect "nobody-text: the remedy" "$(grep -A2 '^Read back:' "$drives_dir/nobody-text.out")" = \
        "Read back: may have come from the system's memory"$'\n'"  Why: cannot open ${drive_loop[fake]} to empty its cache: Permission denied"$'\n'"  To be sure, run the test again with the rights to read the device (as root), or unplug the drive, plug it in again and run: fillwright-cli --verify $dir"

    drive_replug fake || return 1
    run_as_nobody replugged --verify --json "$dir"
    expect_run replugged 1 lost
    expect_summary replugged read_back = "re-plugged"
    expect_summary replugged bytes_ok -le "$2"
    expect_summary replugged bytes_lost -gt 0
    drive_remove fake
}

test_exfat_fuse_counterfeit() { fuse_counterfeit exfat $((512 * MiB)); }
# ntfs-3g's metadata must fall within the real part: 640 MiB of 1 GiB holds it.
test_ntfs_3g_counterfeit() { fuse_counterfeit ntfs $((640 * MiB)); }

# An honest drive with a FUSE file system: everything intact, proven.
test_fuse_honest_drive() {
    local fs
    for fs in exfat ntfs; do
        fuse_fake_drive "honest-$fs" $((256 * MiB)) $((256 * MiB)) drop "$fs" || return 1
        run "fill-$fs" --fill --json "${drive_mount[honest-$fs]}"
        expect_run "fill-$fs" 0 ok
        expect_summary "fill-$fs" read_back = "cache dropped"
        expect_summary "fill-$fs" bytes_lost = 0
        drive_remove "honest-$fs"
    done
}

# ext4 on a loop device that reads its backing file through the cache,
# the backing file itself on a counterfeit drive: that file's cache is
# emptied too, and the fake is found under both layers.
test_cached_loop_on_a_counterfeit() {
    fake_drive outer $((1024 * MiB)) $((384 * MiB)) drop || return 1
    cached_loop_drive inner $((900 * MiB)) outer || return 1
    run fill --fill --json "${drive_mount[inner]}"
    expect_run fill 1 lost
    expect_summary fill read_back = "cache dropped"
    expect_summary fill bytes_lost -gt 0
    expect_summary fill bytes_ok -le $((384 * MiB))
    drive_remove inner
    drive_remove outer
}

# NAME NEEDS: runs test_NAME, where NEEDS (loop, ramfs, fake or fuse_fs) says what the host
# fill_behind NAME DIR PROGRAM...: starts a fill of DIR by PROGRAM (its
# output to NAME.out and .err, cut off after a minute) and returns once it
# has written 12 MiB there; $pid is the fill's.
fill_behind() {
    local name=$1 dir=$2 free tries
    shift 2
    free=$(free_bytes "$dir")
    timeout 60 "$@" >"$drives_dir/$name.out" 2>"$drives_dir/$name.err" </dev/null &
    pid=$!
    drives_own "$pid"
    for ((tries = 0; tries < 600; tries++)); do
        [ "$(free_bytes "$dir")" -gt $((free - 12 * MiB)) ] || break
        sleep 0.05
    done
}

# The drive goes away in the middle of a fill: unmounted lazily, as a desktop
# does when a stick is pulled, or with another drive mounted on its path.
# The test ends at once and says so; nothing of its set lands on the host's
# disk (the bare mount point) or on the other drive; nothing counts lost.
# The drive is slow (10 MB/s), so that the fill is surely under way.
drive_goes_away() {  # HOW: unmount or over-mount
    rated_drive away $((64 * MiB)) 80M || return 1
    local dir=${drive_mount[away]} pid other=
    if [ "$1" = over-mount ]; then
        ext4_drive other $((32 * MiB)) || return 1
        other=${drive_mount[other]}
    fi
    fill_behind away "$dir" "$cli" --fill --json --file-size $((4 * MiB)) "$dir"
    if [ "$1" = unmount ]; then
        umount -l "$dir"
        unset "drive_mount[away]"
    else
        mount "${drive_loop[other]}" "$dir"
    fi
    wait "$pid"
    status=$?
    read_summary "$drives_dir/away.out"
    expect_run away 1 failed
    expect_summary away error = "the drive at $dir went away during the test (unmounted, pulled out or replaced)"
    expect_summary away bytes_lost = 0
    expect_summary away bytes_written -gt $((11 * MiB))
    expect "away: what its report says" "$(grep -c 'counterfeit' "$drives_dir/away.err")" = 0
    if [ "$1" = unmount ]; then
        expect "unmount: files in the bare mount point on the host's disk" "$(ls -A "$dir")" = ""
    else
        expect "over-mount: files on the other drive" "$(ls -A "$other")" = lost+found
        umount "$dir"
    fi
    sed 's/^/      | /' "$drives_dir/away.err" | grep -v '^      | $' >&2
    drive_remove away
}

test_drive_unmounted_mid_fill() { drive_goes_away unmount; }
test_drive_replaced_mid_fill() { drive_goes_away over-mount; }

# The drive's server ends in the middle of a fill: the drive is still
# attached, and every request fails with an I/O error. The test ends promptly
# with the system's reason; the drive is failing, not gone, so what it
# cannot read back counts unreadable, and only that.
test_drive_server_ends_mid_fill() {
    rated_drive dying $((64 * MiB)) 80M || return 1
    local dir=${drive_mount[dying]} pid server
    fill_behind dying "$dir" "$cli" --fill --json --file-size $((4 * MiB)) "$dir"
    server=$(pgrep -P "${drive_fuse_pid[dying]}")
    [ -n "$server" ] && kill "$server"
    local killed=$SECONDS
    wait "$pid"
    status=$?
    read_summary "$drives_dir/dying.out"
    expect "dying: seconds from the end of the server to the end of the test" $((SECONDS - killed)) -le 10
    expect_run dying 1 lost
    expect "dying: the system's reason" \
        "$(grep -c -x "fillwright-cli: cannot write $dir/fillwright-drivetest-0000[34].bin: Input/output error" "$drives_dir/dying.err")" = 1
    expect_summary dying lost.unreadable = "${summary[bytes_lost]:-}"
    expect_summary dying bytes_lost = $((${summary[bytes_written]:-0} - ${summary[bytes_ok]:-0}))
    drive_remove dying
}

# A set whose second file was replaced by what is not its own: a link to a
# file outside the drive, a FIFO, a hard link, a folder. --fill neither
# resumes nor replaces it, --verify reads the rest; nothing outside changes
# and nothing hangs. Then a set that names another drive's volume.
test_planted_files() {
    ext4_drive planted $((64 * MiB)) || return 1
    local dir=${drive_mount[planted]} outside=$drives_dir/outside.bin second kind state sum volume
    second=$dir/fillwright-drivetest-00002.bin
    run set --fill --json --total $((8 * MiB)) --file-size $((4 * MiB)) "$dir"
    expect_run set 0 ok
    volume=$(blkid -s UUID -o value "${drive_loop[planted]}")
    expect "set: its volume" "$(grep '^volume ' "$dir/fillwright-drivetest.txt")" = "volume $volume"
    cp "$second" "$drives_dir/second.bin" && cp "$dir/fillwright-drivetest.txt" "$drives_dir/finished.txt"
    mkdir "$dir/keep" && head -c 40 /dev/urandom >"$dir/keep/mine.bin" && cp "$dir/keep/mine.bin" "$outside"
    sum=$(cat "$outside" "$dir/keep/mine.bin" | sha256sum)
    for state in finished interrupted; do
        for kind in "symbolic link" FIFO "file with 2 names (hard links)" folder; do
            rm -rf "$second"
            case $kind in
                symbolic*) ln -s "$outside" "$second" ;;
                FIFO) mkfifo "$second" ;;
                file*) ln "$dir/keep/mine.bin" "$second" ;;
                folder) mkdir "$second" ;;
            esac
            cp "$drives_dir/finished.txt" "$dir/fillwright-drivetest.txt"
            [ $state = finished ] || sed -i 's/^state finished$/state filling/; /^written /d' "$dir/fillwright-drivetest.txt"
            local name="$state-${kind%% *}" verb=replace
            [ $state = finished ] || verb=resume
            timeout 20 "$cli" --fill --json "$dir" >"$drives_dir/fill-$name.out" 2>"$drives_dir/fill-$name.err" </dev/null
            expect "fill $name: exit status" $? = 1
            expect "fill $name: its message" "$(cat "$drives_dir/fill-$name.err")" = \
                "fillwright-cli: cannot $verb the test set in $dir: $second is a $kind, not the test set's own file; it is left as it is"
            timeout 20 "$cli" --verify --json "$dir" >"$drives_dir/verify-$name.out" 2>"$drives_dir/verify-$name.err" </dev/null
            status=$?
            read_summary "$drives_dir/verify-$name.out"
            expect_run "verify-$name" 1 lost
            expect_summary "verify-$name" bytes_lost = $((4 * MiB))
            expect "verify $name: the unreadable file's reason" \
                "$(grep -c "\"reason\":\"not the set's own file: a $kind\"" "$drives_dir/verify-$name.out")" = 1
            expect "$name: the files outside the set" "$(cat "$outside" "$dir/keep/mine.bin" | sha256sum)" = "$sum"
        done
    done
    rm -rf "$second" && cp "$drives_dir/second.bin" "$second"
    cp "$drives_dir/finished.txt" "$dir/fillwright-drivetest.txt"
    sed -i 's/^volume .*/volume 1234-ABCD/' "$dir/fillwright-drivetest.txt"
    run other-volume --fill --json "$dir"
    expect_run other-volume 1 failed
    expect_summary other-volume error = \
        "$dir holds the test set of another drive (volume 1234-ABCD; this one is volume $volume): remove it by hand to test here"
    "$cli" --verify "$dir" >"$drives_dir/verify-other.out" 2>&1
    expect "verify another drive's set: exit status" $? = 0
    expect "verify another drive's set: its words" "$(grep '^Volume:' "$drives_dir/verify-other.out")" = \
        "Volume: the set was written on volume 1234-ABCD; this drive is volume $volume"
    drive_remove planted
}

# A folder on the system's own drive (the one that holds /): a fill of all
# its free space is refused before anything is written; with --total it
# warns and tests. The refused run is cut off after 3 seconds all the same,
# so that a broken guard cannot fill the host's disk.
test_system_drive_guard() {
    local dir=$drives_dir/system
    mkdir "$dir" || return 1
    timeout 3 "$cli" --fill --no-verify --file-size $MiB "$dir" >"$drives_dir/system.out" 2>"$drives_dir/system.err" </dev/null
    expect "system: exit status" $? = 2
    expect "system: its message" "$(cat "$drives_dir/system.err")" = \
        "fillwright-cli: $dir is on the system's own drive (the one that holds /); filling it can stop programs from saving their work. Give --total, or --allow-system-drive to fill it anyway"
    expect "system: files written" "$(ls -A "$dir")" = ""
    run system-total --fill --json --total $((4 * MiB)) --file-size $MiB "$dir"
    expect_run system-total 0 ok
    expect "system-total: its warning" "$(grep -c "warning: $dir is on the system's own drive" "$drives_dir/system-total.err")" = 1
    rm -f "$dir"/fillwright-drivetest*
}

# Under Wine: the drive letter of a fill pointed at another folder in the
# middle of it (the prefix's dosdevices link changed, as a drive letter
# goes to another stick). Each root's .windows-serial gives Wine its volume
# serial number. The Windows build ends the test the same way and writes
# nothing into the other folder.
test_wine_drive_letter_repointed() {
    rated_drive letter $((64 * MiB)) 80M || return 1
    local dir=${drive_mount[letter]} other=$drives_dir/other pid
    local link=$root/${FILLWRIGHT_BUILD_DIR:-build}/wineprefix-$wine_arch/dosdevices/q:
    mkdir "$other" && echo a1a1a1a1 >"$dir/.windows-serial" && echo b2b2b2b2 >"$other/.windows-serial"
    # The letter is a link in the prefix's dosdevices: on a fresh checkout the
    # prefix is made first, by a first program run in it.
    "$root/scripts/wine.sh" "$wine_arch" cmd /c exit >/dev/null 2>&1 </dev/null
    ln -sfn "$dir" "$link" || return 1
    fill_behind letter "$dir" "$root/scripts/wine.sh" "$wine_arch" "$wine_cli" --fill --json --file-size $((4 * MiB)) 'Q:\'
    ln -sfn "$other" "$link"
    wait "$pid"
    status=$?
    rm -f "$link"
    sed -i 's/\r$//' "$drives_dir/letter.out"
    read_summary "$drives_dir/letter.out"
    expect_run letter 1 failed
    expect_summary letter error = 'the drive at Q:\\ went away during the test (unmounted, pulled out or replaced)'
    expect "letter: files in the folder the letter now names" "$(ls -A "$other")" = .windows-serial
    drive_remove letter
}

source "$root/scripts/host.sh"
wine_arch=$(wine_build)
wine_cli=$root/${FILLWRIGHT_BUILD_DIR:-build}/$wine_arch/fillwright-cli.exe
wine_unavailable() {
    local why
    why=$(fake_unavailable)
    [ -z "$why" ] || { echo "$why"; return; }
    command -v wine >/dev/null 2>&1 || { echo "wine is missing (bash scripts/setup.sh installs it)"; return; }
    [ -f "$wine_cli" ] || echo "$wine_cli is not built (scripts/build.sh builds it)"
}

system_unavailable() {
    [ "$(stat -c %d "$drives_dir")" = "$(stat -c %d /)" ] || echo "$drives_dir is not on the file system that holds /"
}

# The page a run saved with --report: opened in a real browser, whose
# screenshot must be drawn (not one blank colour) and whose DOM must hold
# the verdict and the summary's numbers; and the page itself checked against
# the run's JSON Lines by check_page.py. FILLWRIGHT_PAGE_SHOTS=DIR keeps the
# screenshots there.
browser() {  # NAME ARGUMENTS...: chromium-headless-shell with a profile of its own and no network
    chromium-headless-shell --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
        --disable-component-update --disable-sync --hide-scrollbars --user-data-dir="$drives_dir/browser-$1" "${@:2}"
}
expect_page() {  # NAME PAGE
    local name=$1 page=$2 shot=$drives_dir/$1.png
    browser "$name" --screenshot="$shot" --window-size=900,2300 "file://$page" >/dev/null 2>&1
    expect "$name: colours in the screenshot of its page" "$(identify -format %k "$shot" 2>/dev/null)" -gt 100
    browser "$name" --dump-dom "file://$page" >"$drives_dir/$name.dom" 2>/dev/null
    if ! /usr/bin/python3 "$here/check_page.py" "$page" "$drives_dir/$name.out" "$drives_dir/$name.dom" >"$drives_dir/$name.check"; then
        sed 's/^/    /' "$drives_dir/$name.check"
        test_failed=1
    fi
    [ -z "${FILLWRIGHT_PAGE_SHOTS:-}" ] || cp "$shot" "$FILLWRIGHT_PAGE_SHOTS/$name.png"
}

test_honest_drive_page() {
    ext4_drive honest $((128 * MiB)) || return 1
    run honest-page --fill --json --report "$drives_dir/honest.html" "${drive_mount[honest]}"
    expect_run honest-page 0 ok
    expect "honest-page: its page" "$(grep -c 'ext4 on /dev/loop' "$drives_dir/honest.html")" = 1
    expect_page honest-page "$drives_dir/honest.html"
    drive_remove honest
}

test_counterfeit_drive_page() {
    fake_drive fake "$claimed_size" "$real_size" wrap || return 1
    run fake-page --fill --json --report "$drives_dir/fake.html" "${drive_mount[fake]}"
    expect_run fake-page 1 lost
    expect_summary fake-page bytes_lost -gt 0
    expect_page fake-page "$drives_dir/fake.html"
    drive_remove fake
}

# A page that cannot be saved stops the test before it writes anything: a
# folder its user may not write to (the test run as nobody), a read-only
# file system.
test_report_paths_refused() {
    ext4_drive drive $((32 * MiB)) || return 1
    local dir=${drive_mount[drive]} closed=$drives_dir/closed
    mkdir -p "$closed" && chmod 755 "$drives_dir" "$closed" "$dir"
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$cli" --fill --report "$closed/page.html" "$dir" \
        >"$drives_dir/closed.out" 2>"$drives_dir/closed.err" </dev/null
    expect "as nobody: exit status" "$?" = 2
    expect "as nobody: its message" "$(cat "$drives_dir/closed.err")" = "fillwright-cli: $closed/page.html: Permission denied"
    mkdir -p "$drives_dir/ro" && mount -t tmpfs -o ro,size=1M tmpfs "$drives_dir/ro" || return 1
    run read-only --fill --report "$drives_dir/ro/page.html" "$dir"
    umount "$drives_dir/ro"
    expect "read-only: exit status" "$status" = 2
    expect "read-only: its message" "$(cat "$drives_dir/read-only.err")" = "fillwright-cli: $drives_dir/ro/page.html: Read-only file system"
    expect "files on the drive after both" "$(ls -A "$dir" | grep -c fillwright)" = 0
    drive_remove drive
}

page_unavailable() {
    local why
    why=$(fake_unavailable)
    [ -z "$why" ] || { echo "$why"; return; }
    command -v chromium-headless-shell >/dev/null 2>&1 || { echo "chromium-headless-shell is missing (bash scripts/setup.sh installs it)"; return; }
    command -v identify >/dev/null 2>&1 || { echo "ImageMagick's identify is missing (bash scripts/setup.sh installs it)"; return; }
    /usr/bin/python3 -c 'import html5lib' 2>/dev/null || echo "python3-html5lib is missing (bash scripts/setup.sh installs it)"
}

# NAME NEEDS: runs test_NAME, where NEEDS (loop, ramfs, fake, btrfs, system, wine or
# page) says what the host must allow.
passed=0 failed=0 not_run=0
run_test() {
    local name=$1 needs=$2 why
    [[ "$name" == *${pattern}* ]] || return 0
    why=$("${needs}_unavailable")
    if [ -z "$why" ] && [ ! -x "$cli" ]; then why="$cli is not built (scripts/build.sh builds it)"; fi
    if [ -n "$why" ]; then
        echo "NOT RUN  $name: $why"
        not_run=$((not_run + 1))
        return
    fi
    test_failed=0
    "test_$name" || { echo "    could not make the drive"; test_failed=1; }
    drives_end
    drives_begin
    if [ $test_failed -eq 0 ]; then
        echo "ok       $name"
        passed=$((passed + 1))
    else
        echo "FAILED   $name"
        failed=$((failed + 1))
    fi
}

pattern=${1:-}
drives_begin || exit 1
run_test honest_drive loop
run_test journalled_ext4_drops_its_cache loop
run_test ramfs_may_be_cached ramfs
run_test interrupted_fill_resumes fake
run_test counterfeit_drive_wrapping fake
run_test counterfeit_drive_dropping fake
run_test counterfeit_drive_written_to_the_end fake
run_test exfat_fuse_counterfeit fuse_fs
run_test ntfs_3g_counterfeit fuse_fs
run_test fuse_honest_drive fuse_fs
run_test cached_loop_on_a_counterfeit fake
run_test drive_unmounted_mid_fill fake
run_test drive_replaced_mid_fill fake
run_test drive_server_ends_mid_fill fake
run_test planted_files loop
run_test system_drive_guard system
run_test wine_drive_letter_repointed wine
run_test real_capacity_dropping fake
run_test real_capacity_dropping_partition fake
run_test real_capacity_folding fake
run_test real_capacity_folding_partition fake
run_test real_capacity_unknown_on_btrfs btrfs
run_test honest_drive_page page
run_test counterfeit_drive_page page
run_test report_paths_refused loop
if [ $not_run -ne 0 ]; then
    echo "$not_run did not run on this host (see NOT RUN above): they are not counted below"
fi
echo "$passed passed, $failed failed"
[ $failed -eq 0 ] || exit 1
[ $not_run -eq 0 ] || exit 77
