#!/usr/bin/env bash
# The drive dialog's end-to-end suite:  drive_dialog.sh win32|win64 DRIVER.exe
# Makes real drives to test on, gives each a drive letter in the Wine prefix
# (a link in its dosdevices folder), runs the driver under Wine on a real X
# server (ctest's, or a private Xvfb) and takes everything down again.
# Exit status 77: this host cannot make the drives (not root, no loop
# devices or FUSE); the suite did not run.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
arch=$1
driver=$2
source "$root/tests/drives/drives.sh"

why=$(fake_unavailable)
if [ -n "$why" ]; then
    echo "NOT RUN: the drive dialog's suite needs real and simulated drives: $why"
    exit 77
fi
if [ -z "${DISPLAY:-}" ]; then
    source "$root/scripts/xserver.sh"
    start_private_xserver || exit 1
fi
prefix=$root/${FILLWRIGHT_BUILD_DIR:-build}/wineprefix-$arch
"$root/scripts/wine.sh" "$arch" cmd /c exit >/dev/null 2>&1 </dev/null
dosdevices=$prefix/dosdevices

# The letters of this suite; a link of an earlier run cut short goes first.
letters=(p q s r t)
remove_letters() {
    local letter
    for letter in "${letters[@]}"; do
        [ ! -L "$dosdevices/$letter:" ] || rm -f "$dosdevices/$letter:"
    done
}
remove_letters
drives_begin /tmp || exit 1
trap 'remove_letters; drives_end; [ -z "${xserver_pid:-}" ] || stop_private_xserver' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

slow_rate=40000000  # bits per second: 5 MB/s, a slow stick
ext4_drive honest 64M || exit 1
fake_drive fake 256M 64M wrap || exit 1
drive_options[slow]=sync       # every write waits for the drive, as on a stick without a cache
fake_drive slow 64M 64M wrap "$slow_rate" || exit 1
drive_options[doomed]=sync
fake_drive doomed 64M 64M wrap "$slow_rate" || exit 1
mkdir -p "$drives_dir/spare"
ln -s "${drive_mount[honest]}" "$dosdevices/p:"
ln -s "${drive_mount[fake]}" "$dosdevices/q:"
ln -s "${drive_mount[slow]}" "$dosdevices/s:"
ln -s "${drive_mount[doomed]}" "$dosdevices/r:"

export FILLWRIGHT_DRIVE_HONEST=P FILLWRIGHT_DRIVE_FAKE=Q FILLWRIGHT_DRIVE_SLOW=S FILLWRIGHT_DRIVE_DOOMED=R
export FILLWRIGHT_DRIVE_SPARE=T FILLWRIGHT_SPARE_MOUNT=$drives_dir/spare FILLWRIGHT_DOSDEVICES=$dosdevices
export FILLWRIGHT_SLOW_RATE=$slow_rate FILLWRIGHT_SLOW_RATE_FILE=$drives_dir/slow.rate
export FILLWRIGHT_DOOMED_SERVER=${drive_fuse_pid[doomed]}
"$root/scripts/wine_test.sh" "$arch" "$driver" "${@:3}"
