# Sourced by the drive tests and the bench: makes mounted ext4 file systems
# to test on, on loop devices with direct I/O, and takes them down again.
#
#   drives_begin [PARENT]               private folder (in /tmp) and traps;
#                                       call first
#   ext4_drive NAME SIZE [OPTIONS]      an ext4 image on a loop device,
#                                       mounted with OPTIONS (mount -o)
#   ramfs_drive NAME                    a ramfs: no direct I/O, no drive
#   fake_drive NAME CLAIMED REAL MODE [RATE]
#                                       a drive that claims CLAIMED bytes and
#                                       holds REAL (fake_drive.py: MODE wrap
#                                       or drop); RATE limits it (bits/s)
#   rated_drive NAME SIZE RATE          an honest drive of RATE bits/s
#   fuse_fake_drive NAME CLAIMED REAL MODE exfat|ntfs
#                                       a fake as fake_drive, formatted
#                                       exFAT (exfat-fuse) or NTFS (ntfs-3g),
#                                       mounted so that every user may write
#   cached_loop_drive NAME SIZE PARENT  an ext4 image on drive PARENT, on a
#                                       loop device without direct I/O
#   drive_partitioned[NAME]=1           before making NAME: the file system goes
#                                       on a partition from 1 MiB (sfdisk)
#   drive_fs[NAME]=btrfs                before making NAME: btrfs, not ext4
#   drive_mount[NAME]                   where it is mounted
#   drive_device NAME                   the device the file system is on
#   drive_set_rate NAME BITS_PER_SECOND change the limit of a drive made
#                                       with one (0: none)
#   drive_replug NAME                   unmount, detach, attach, mount again
#   drive_remove NAME                   take one drive down
#   drives_own PID                      a process to end before taking down
#   drives_end                          take everything down (the traps do)
#   loop_unavailable, fake_unavailable, ramfs_unavailable, btrfs_unavailable,
#   fuse_fs_unavailable
#                                       print why this host cannot, or nothing
#
# Every name lives in a private folder of this run, so two checkouts can run
# at once. The loop device reads its backing file with direct I/O: without
# it the page cache of the backing file would answer reads and hide a fake.

drives_dir=
declare -gA drive_mount=() drive_options=() drive_partitioned=() drive_fs=() drive_cached_loop=() drive_loop=() drive_backing=() drive_fuse=() drive_fuse_pid=()
drives_processes=()
drives_made=()

loop_unavailable() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "not root: mounting a loop device needs root"
        return
    fi
    [ -e /dev/loop-control ] || { echo "no /dev/loop-control: this kernel or container has no loop devices"; return; }
    local tool
    for tool in losetup mkfs.ext4 mount umount findmnt filefrag python3; do
        command -v "$tool" >/dev/null 2>&1 || { echo "$tool is missing (bash scripts/setup.sh installs it)"; return; }
    done
}

btrfs_unavailable() {
    local why
    why=$(loop_unavailable)
    [ -z "$why" ] || { echo "$why"; return; }
    command -v mkfs.btrfs >/dev/null 2>&1 || { echo "mkfs.btrfs is missing (bash scripts/setup.sh installs it)"; return; }
    grep -qw btrfs /proc/filesystems || modprobe -q btrfs 2>/dev/null || echo "this kernel has no btrfs"
}

ramfs_unavailable() {
    [ "$(id -u)" -eq 0 ] || { echo "not root: mounting a ramfs needs root"; return; }
    grep -qw ramfs /proc/filesystems || echo "this kernel has no ramfs"
}

fake_unavailable() {
    local why
    why=$(loop_unavailable)
    [ -z "$why" ] || { echo "$why"; return; }
    [ -e /dev/fuse ] || { echo "no /dev/fuse: this kernel or container has no FUSE"; return; }
    local tool
    for tool in nbdkit nbdfuse fusermount3; do
        command -v "$tool" >/dev/null 2>&1 || { echo "$tool is missing (bash scripts/setup.sh installs it)"; return; }
    done
    nbdkit python --version >/dev/null 2>&1 || echo "nbdkit's Python plugin is missing (bash scripts/setup.sh installs it)"
}

fuse_fs_unavailable() {
    local why tool
    why=$(fake_unavailable)
    [ -z "$why" ] || { echo "$why"; return; }
    for tool in mkfs.exfat mount.exfat-fuse mkfs.ntfs ntfs-3g runuser; do
        command -v "$tool" >/dev/null 2>&1 || { echo "$tool is missing (bash scripts/setup.sh installs it)"; return; }
    done
}

drives_begin() {
    drives_dir=$(mktemp -d "${1:-/tmp}/fillwright-drives.XXXXXX") || return 1
    trap drives_end EXIT
    trap 'drives_end; exit 130' INT
    trap 'drives_end; exit 143' TERM HUP
}

drives_own() {  # PID
    drives_processes+=("$1")
}

drives_end() {
    local name pid
    for pid in "${drives_processes[@]}"; do
        if kill -0 "$pid" 2>/dev/null; then
            kill "$pid"
            wait "$pid" 2>/dev/null
        fi
    done
    drives_processes=()
    # The last made first: a drive may lie on another.
    local k
    for ((k = ${#drives_made[@]} - 1; k >= 0; k--)); do
        [ -z "${drive_backing[${drives_made[k]}]+set}" ] || drive_remove "${drives_made[k]}"
    done
    drives_made=()
    if [ -n "$drives_dir" ]; then
        # FILLWRIGHT_DRIVE_OUTPUTS=DIR keeps what each run printed.
        if [ -n "${FILLWRIGHT_DRIVE_OUTPUTS:-}" ]; then
            cp "$drives_dir"/*.out "$drives_dir"/*.err "$FILLWRIGHT_DRIVE_OUTPUTS"/ 2>/dev/null
        fi
        rm -rf --one-file-system "$drives_dir"
        drives_dir=
    fi
}

# The file system of every test drive: no journal and no discards, so that
# the space a user can write is the same on each run, and nothing reserved
# for root, so that the free space statvfs reports is all writable. Only
# a drive mounted with data=journal gets a journal: it needs one.
drive_format_and_mount() {  # NAME DEVICE
    case ${drive_fs[$1]:-} in
        exfat) mkfs.exfat "$2" >/dev/null && drive_attach_mount "$1" "$2"; return ;;
        ntfs)
            mkfs.ntfs -q -f "$2" >"$drives_dir/$1.mkfs" 2>&1 || { cat "$drives_dir/$1.mkfs" >&2; return 1; }
            drive_attach_mount "$1" "$2"
            return
            ;;
    esac
    [ "${drive_fs[$1]:-}" != btrfs ] || { mkfs.btrfs -q -f "$2" >/dev/null && drive_attach_mount "$1" "$2"; return; }
    local journal=^has_journal
    [[ ${drive_options[$1]:-} != *data=journal* ]] || journal=has_journal
    mkfs.ext4 -q -m 0 -O $journal -E nodiscard,lazy_itable_init=0 "$2" || return 1
    drive_attach_mount "$1" "$2"
}

# The FUSE file systems let every user write, so that a user without
# rights to the device can run the test there.
drive_attach_mount() {  # NAME DEVICE [MOUNT-ARGUMENTS...]
    local where=$drives_dir/$1 open=allow_other,uid=65534,gid=65534,umask=0
    mkdir -p "$where"
    case ${drive_fs[$1]:-} in
        exfat) mount.exfat-fuse -o "$open" "$2" "$where" >/dev/null && drive_mount[$1]=$where; return ;;
        ntfs) ntfs-3g -o "$open" "$2" "$where" && drive_mount[$1]=$where; return ;;
    esac
    mount ${drive_options[$1]:+-o "${drive_options[$1]}"} "${@:3}" "$2" "$where" || return 1
    drive_mount[$1]=$where
}

drive_attach_loop() {  # NAME: sets drive_loop[NAME] to a new loop device
    local loop direct=--direct-io=on
    drives_made+=("$1")
    [ -z "${drive_cached_loop[$1]:-}" ] || direct=
    loop=$(losetup -f --show ${drive_partitioned[$1]:+-P} $direct "${drive_backing[$1]}") || return 1
    drive_loop[$1]=$loop
}

# One partition from sector 2048 (1 MiB) to the end, written the first time.
drive_partition() {  # NAME
    [ -n "${drive_partitioned[$1]:-}" ] || return 0
    local loop=${drive_loop[$1]} tries
    echo 'start=2048, type=83' | sfdisk -q "$loop" >/dev/null || return 1
    partx -u "$loop" 2>/dev/null
    for ((tries = 0; tries < 50; tries++)); do [ -b "${loop}p1" ] && return 0 || sleep 0.1; done
    echo "drives: ${loop}p1 did not appear" >&2
    return 1
}

drive_device() {  # NAME
    echo "${drive_loop[$1]}${drive_partitioned[$1]:+p1}"
}

ext4_drive() {  # NAME SIZE [OPTIONS]
    local image=$drives_dir/$1.img
    truncate -s "$2" "$image" || return 1
    drive_backing[$1]=$image
    drive_options[$1]=${3:-}
    drive_attach_loop "$1" && drive_partition "$1" && drive_format_and_mount "$1" "$(drive_device "$1")"
}

ramfs_drive() {  # NAME
    drives_made+=("$1")
    drive_backing[$1]=
    drive_attach_mount "$1" ramfs -t ramfs
}

fake_drive() {  # NAME CLAIMED REAL MODE [RATE]
    local name=$1 rate=${5:-0}
    local plugin
    plugin=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/fake_drive.py
    local filter=() limit=()
    if [ "$rate" != 0 ]; then
        echo "$rate" >"$drives_dir/$name.rate"
        filter=(--filter=rate)
        limit=(rate="$rate" rate-file="$drives_dir/$name.rate")
    fi
    nbd_drive "$name" "${filter[@]}" python "$plugin" size="$2" real="$3" mode="$4" "${limit[@]}"
}

# An ext4 image in the folder of drive PARENT, on a loop device that reads
# it through its page cache (no direct I/O).
cached_loop_drive() {  # NAME SIZE PARENT
    local image=${drive_mount[$3]}/$1.img
    truncate -s "$2" "$image" || return 1
    drive_backing[$1]=$image
    drive_cached_loop[$1]=1
    drive_attach_loop "$1" && drive_format_and_mount "$1" "${drive_loop[$1]}"
}

fuse_fake_drive() {  # NAME CLAIMED REAL MODE FS
    drive_fs[$1]=$5
    fake_drive "$1" "$2" "$3" "$4"
}

# An honest drive that moves at most RATE bits per second, reading or
# writing: nbdkit's memory plugin behind its rate filter, which lets no
# burst past that rate run for more than a tenth of a second. Its speed is
# the drive's, not the processor's.
rated_drive() {  # NAME SIZE RATE
    nbd_drive "$1" --filter=rate memory size="$2" rate="$3" burstiness=0.1
}

nbd_drive() {  # NAME NBDKIT_ARGUMENTS...
    local name=$1 file=$drives_dir/$1.nbd
    shift
    : >"$file"
    drive_backing[$name]=$file
    drive_fuse[$name]=$file
    # nbdfuse serves the drive as the plain file $file until fusermount3 -u;
    # mounted as type fuse.nbdfuse, which the drive test takes for a drive,
    # and open to every user, so that one without rights can see it is one;
    # its output goes to a log so that no pipe of the caller stays open. In
    # a session of its own, a Ctrl-C on the terminal does not end nbdkit
    # under a mounted file system: the traps take it down in order.
    setsid nbdfuse -o subtype=nbdfuse -o allow_other -P "$file.pid" "$file" --command nbdkit -s "$@" >"$drives_dir/$name.log" 2>&1 </dev/null &
    drive_fuse_pid[$name]=$!
    local tries
    for ((tries = 0; tries < 300; tries++)); do
        if [ -s "$file.pid" ] && findmnt --mountpoint "$file" >/dev/null; then break; fi
        if ! kill -0 "${drive_fuse_pid[$name]}" 2>/dev/null; then
            echo "nbd_drive: nbdfuse ended at once:" >&2
            cat "$drives_dir/$name.log" >&2
            return 1
        fi
        sleep 0.1
    done
    findmnt --mountpoint "$file" >/dev/null || { echo "nbd_drive: nbdfuse did not mount $file" >&2; return 1; }
    drive_attach_loop "$name" && drive_partition "$name" && drive_format_and_mount "$name" "$(drive_device "$name")"
}

drive_set_rate() {  # NAME BITS_PER_SECOND (0: as fast as it goes)
    local rate=$2
    [ "$rate" != 0 ] || rate=1T
    echo "$rate" >"$drives_dir/$1.rate"
}

# A program killed a moment ago may still hold files open for a while.
drive_unmount() {  # NAME
    local where=${drive_mount[$1]:-} tries
    [ -n "$where" ] || return 0
    for ((tries = 0; tries < 100; tries++)); do
        findmnt --mountpoint "$where" >/dev/null || break
        umount "$where" 2>/dev/null && break
        sleep 0.1
    done
    if findmnt --mountpoint "$where" >/dev/null; then
        echo "drives: $where is still busy; unmounting it lazily" >&2
        umount -l "$where"
    fi
    unset "drive_mount[$1]"
}

drive_detach() {  # NAME
    local loop=${drive_loop[$1]:-}
    [ -n "$loop" ] || return 0
    losetup -d "$loop" || echo "drives: could not detach $loop" >&2
    unset "drive_loop[$1]"
}

# As a user re-plugs a stick: nothing of it stays in any cache.
drive_replug() {  # NAME
    drive_unmount "$1"
    drive_detach "$1"
    drive_attach_loop "$1" && drive_attach_mount "$1" "$(drive_device "$1")"
}

drive_remove() {  # NAME
    local name=$1
    drive_unmount "$name"
    drive_detach "$name"
    local file=${drive_fuse[$name]:-} pid=${drive_fuse_pid[$name]:-} tries
    if [ -n "$file" ] && findmnt --mountpoint "$file" >/dev/null; then
        fusermount3 -u "$file" || echo "drives: could not unmount $file" >&2
    fi
    if [ -n "$pid" ]; then
        # nbdfuse ends once unmounted; if it never mounted, end it here.
        for ((tries = 0; tries < 100; tries++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$pid" 2>/dev/null; then kill "$pid"; fi
        wait "$pid" 2>/dev/null
    fi
    [ -z "${drive_backing[$name]:-}" ] || rm -f "${drive_backing[$name]}" "${drive_backing[$name]}.pid"
    unset "drive_fuse[$name]" "drive_fuse_pid[$name]" "drive_backing[$name]" "drive_options[$name]" \
        "drive_partitioned[$name]" "drive_fs[$name]" "drive_cached_loop[$name]"
}
