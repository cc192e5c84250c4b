#!/usr/bin/env bash
# Builds what a release ships, in folders of its own, and writes
# build/release/: the Windows zip, the Debian package of the command line
# and SHA256SUMS over both (scripts/check_release.sh checks them). The same
# commit gives the same bytes, whatever the folder and the time: every time
# inside comes from SOURCE_DATE_EPOCH, the last commit's time unless it is
# set already.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct) || {
        echo "release: not a git checkout; set SOURCE_DATE_EPOCH" >&2
        exit 1
    }
fi
export SOURCE_DATE_EPOCH
out=${FILLWRIGHT_BUILD_DIR:-build}
release=$out/release

source scripts/configure.sh
configure "$out/release-win32" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
# The Debian package's program is built as Debian builds its own: with the
# flags of dpkg-buildflags, every hardening feature on (fortified calls,
# stack protector, relocations read-only and bound at start). Configured
# every time, so that a folder made before keeps no other flags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cmake -S . -B "$out/release-native" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CFLAGS) $cppflags" \
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" >"$out/release-native.configure.log" 2>&1 || {
    cat "$out/release-native.configure.log"
    exit 1
}
ninja -C "$out/release-win32" --quiet fillwright fillwright-cli fillwright-drivetest
# The man page's date comes from SOURCE_DATE_EPOCH, which no build rule sees.
rm -f "$out/release-native/cli/fillwright-cli.1"
ninja -C "$out/release-native" --quiet fillwright-cli fillwright-cli-man fillwright-cli-changelog
version=$("$out/release-native/fillwright-cli" --version | sed -n '1s/.* //p')

rm -rf "$release"
mkdir -p "$release"
zip=fillwright-$version-win32.zip
python3 scripts/make_zip.py "$release/$zip" \
    "fillwright.exe=$out/release-win32/fillwright.exe" \
    "fillwright-cli.exe=$out/release-win32/fillwright-cli.exe" \
    "fillwright-drivetest.exe=$out/release-win32/fillwright-drivetest.exe" \
    "README.txt=packaging/README.txt" \
    "NEWS.txt=NEWS" \
    "LICENSE.txt=LICENSE"

cpack --config "$out/release-native/CPackConfig.cmake" -B "$out/release-native/package" >"$out/release-native/cpack.log" 2>&1 || {
    cat "$out/release-native/cpack.log"
    exit 1
}
deb=$(cd "$out/release-native/package" && ls fillwright-cli_"$version"_*.deb)
cp "$out/release-native/package/$deb" "$release/"

(cd "$release" && sha256sum "$zip" "$deb" >SHA256SUMS)
echo "release: $release (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"
cat "$release/SHA256SUMS"
