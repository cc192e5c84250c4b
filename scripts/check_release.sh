#!/usr/bin/env bash
# The release packages come out byte for byte the same from a copy of the
# sources in another folder, built later: release.sh runs twice and the two
# SHA256SUMS must match. Then checks what the packages hold.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
out=${FILLWRIGHT_BUILD_DIR:-build}
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
bash scripts/release.sh >/dev/null || exit 1
copy=$(mktemp -d /tmp/fillwright-release-copy.XXXXXX)
trap 'rm -rf "$copy"' EXIT
git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - | tar -xf - -C "$copy"
(cd "$copy" && FILLWRIGHT_BUILD_DIR=out bash scripts/release.sh >/dev/null) || exit 1
if ! diff "$out/release/SHA256SUMS" "$copy/out/release/SHA256SUMS"; then
    echo "FAILED: the packages differ between $root and $copy"
    exit 1
fi
echo "ok: the same packages from two folders"
cat "$out/release/SHA256SUMS"
status=0
expect() {  # description command...
    if "${@:2}" >/dev/null 2>&1; then echo "ok: $1"; else echo "FAILED: $1"; status=1; fi
}
zip=$(ls "$out"/release/fillwright-*-win32.zip)
deb=$(ls "$out"/release/fillwright-cli_*.deb)
expect "the zip holds the two programs, README.txt and LICENSE.txt" \
    test "$(python3 -m zipfile -l "$zip" | awk 'NR > 1 { print $1 }' | tr '\n' ' ')" = \
    "fillwright.exe fillwright-cli.exe README.txt LICENSE.txt "
expect "README.txt has CR LF line ends" \
    sh -c "python3 -c 'import sys, zipfile; t = zipfile.ZipFile(sys.argv[1]).read(\"README.txt\"); sys.exit(t.count(b\"\\n\") != t.count(b\"\\r\\n\"))' '$zip'"
expect "the package holds the program and its man page" \
    sh -c "dpkg-deb -c '$deb' | grep -q ' ./usr/bin/fillwright-cli$' && dpkg-deb -c '$deb' | grep -q ' ./usr/share/man/man1/fillwright-cli.1$'"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS '"EXIT STATUS"' EXAMPLES; do
    expect "the man page has $section" grep -q "^\.SH $section" "$out/release-native/cli/fillwright-cli.1"
done
exit $status
