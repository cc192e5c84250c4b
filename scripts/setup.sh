#!/usr/bin/env bash
# Installs the Debian packages that building and testing Fillwright need.
# Idempotent and quiet: it only touches apt when something is missing.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

have_cmd cmake || need+=(cmake)
have_cmd ninja || need+=(ninja-build)
have_cmd g++ || need+=(g++)
have_cmd python3 || need+=(python3)
have_cmd i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have_cmd x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have_cmd Xvfb || need+=(xvfb)
have_cmd import || need+=(imagemagick)
have_pkg googletest || need+=(googletest)
have_pkg libbenchmark-dev || need+=(libbenchmark-dev)
have_pkg nlohmann-json3-dev || need+=(nlohmann-json3-dev)
have_pkg fonts-wine || need+=(fonts-wine)
have_cmd clang-tidy || need+=(clang-tidy)
have_cmd clang-format || need+=(clang-format)
have_cmd cppcheck || need+=(cppcheck)
# clang with its sanitizer and libFuzzer runtimes, for the parsers' fuzz run.
have_cmd clang++ || need+=(clang)
have_pkg libclang-rt-dev || need+=(libclang-rt-dev)
# The man page of fillwright-cli is made from its --help at build time;
# CPack's DEB generator reads the program's library needs with dpkg-shlibdeps.
have_cmd help2man || need+=(help2man)
have_cmd dpkg-shlibdeps || need+=(dpkg-dev)
# The release check: lintian on the package, mandoc on the man page, unzip
# for the modes of the zip's entries.
have_cmd lintian || need+=(lintian)
have_cmd mandoc || need+=(mandoc)
have_cmd unzip || need+=(unzip)
# The cli suite draws the progress line in a real terminal of a set width.
have_cmd tmux || need+=(tmux)
# 32-bit Wine (wine32) runs the shipped exe; wine64 runs the 64-bit build
# on hosts that cannot execute 32-bit code.
have_pkg wine || need+=(wine)
have_pkg wine64 || need+=(wine64)
have_pkg wine32:i386 || need+=(wine32:i386)
# The drive tests: ext4 images on loop devices, and a drive that claims
# more than it holds, served by nbdkit's Python plugin and shown as a file
# through FUSE.
have_cmd mkfs.ext4 || need+=(e2fsprogs)
have_cmd losetup || need+=(mount)
have_cmd nbdkit || need+=(nbdkit)
have_pkg nbdkit-plugin-python || need+=(nbdkit-plugin-python)
have_cmd nbdfuse || need+=(libnbd-bin)
have_cmd fusermount3 || need+=(fuse3)
# Drives as sticks come formatted: exFAT and NTFS through their FUSE
# servers, partition tables written by sfdisk.
have_cmd mount.exfat-fuse || need+=(exfat-fuse)
have_cmd mkfs.exfat || need+=(exfatprogs)
have_cmd ntfs-3g || need+=(ntfs-3g)
have_cmd sfdisk || need+=(fdisk)
# btrfs, whose extent maps hold addresses of its own, not the drive's.
have_cmd mkfs.btrfs || need+=(btrfs-progs)
# The drive test's HTML report: opened in a real browser, parsed strictly.
have_cmd chromium-headless-shell || need+=(chromium-headless-shell)
have_pkg python3-html5lib || need+=(python3-html5lib)

[ ${#need[@]} -eq 0 ] && exit 0

echo "setup: installing ${need[*]}"
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
source /etc/os-release
# A mirror caught mid-sync fails an index now and then: try again.
index_failed=0
for try in 1 2 3; do
    $SUDO apt-get update -qq && { index_failed=0; break; }
    index_failed=1
    [ "$try" -eq 3 ] || sleep $((try * 10))
done
install() { $SUDO apt-get install -y -qq --no-install-recommends "$@" "${need[@]}" >/dev/null; }
if ! install; then
    [ $index_failed -eq 1 ] || exit 1
    # With one architecture's security index missing, the i386 libraries
    # Wine needs cannot match their amd64 twins' versions. The release and
    # its updates alone are consistent for both: install from those.
    echo "setup: a package index stayed incomplete; installing from $VERSION_CODENAME and its updates alone" >&2
    own=$(mktemp -d)
    mkdir -p "$own/parts" "$own/lists/partial"
    chmod -R a+rX "$own"  # apt fetches as its own user, _apt
    for suite in "$VERSION_CODENAME" "$VERSION_CODENAME-updates"; do
        echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite main"
    done >"$own/sources.list"
    private=(-o "Dir::Etc::sourcelist=$own/sources.list" -o "Dir::Etc::sourceparts=$own/parts"
        -o "Dir::State::Lists=$own/lists")
    $SUDO apt-get "${private[@]}" update -qq
    install "${private[@]}"
fi
echo "setup: done"
