#!/usr/bin/env bash
# The release packages come out byte for byte the same from a copy of the
# sources in another folder, built later: release.sh runs twice and the two
# SHA256SUMS must match. Then checks what the packages hold, and runs
# lintian on the Debian package and mandoc on the man page.
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
man_page=$out/release-native/cli/fillwright-cli.1
expect "the zip holds the three programs, README.txt, NEWS.txt and LICENSE.txt" \
    test "$(python3 -m zipfile -l "$zip" | awk 'NR > 1 { print $1 }' | tr '\n' ' ')" = \
    "fillwright.exe fillwright-cli.exe fillwright-drivetest.exe README.txt NEWS.txt LICENSE.txt "
crlf_only() {  # zip: every .txt entry ends its lines with CR LF
    python3 - "$1" <<'EOF'
import sys, zipfile
archive = zipfile.ZipFile(sys.argv[1])
texts = [archive.read(name) for name in archive.namelist() if name.endswith(".txt")]
sys.exit(not texts or any(text.count(b"\n") != text.count(b"\r\n") for text in texts))
EOF
}
expect "the zip's text files have CR LF line ends" crlf_only "$zip"
expect "the zip's entries unpack as 0755 for the programs and 0644 for the rest" \
    test "$(unzip -Z "$zip" | awk '/^-/ { print $1, $NF }' | tr '\n' ' ')" = \
    "-rwxr-xr-x fillwright.exe -rwxr-xr-x fillwright-cli.exe -rwxr-xr-x fillwright-drivetest.exe -rw-r--r-- README.txt -rw-r--r-- NEWS.txt -rw-r--r-- LICENSE.txt "
for file in bin/fillwright-cli share/man/man1/fillwright-cli.1.gz share/bash-completion/completions/fillwright-cli \
    share/doc/fillwright-cli/copyright share/doc/fillwright-cli/changelog.gz; do
    expect "the package holds /usr/$file" sh -c "dpkg-deb -c '$deb' | grep -q ' ./usr/$file\$'"
done
for section in NAME SYNOPSIS DESCRIPTION OPTIONS '"EXIT STATUS"' EXAMPLES AUTHOR '"REPORTING BUGS"' COPYRIGHT; do
    expect "the man page has $section" grep -q "^\.SH $section" "$man_page"
done
expect "the man page has an example of noise" grep -q '^\.B fillwright\\-cli .*\\-m noise' "$man_page"

# What the ecosystems' own tools say: any error or warning fails; lintian's
# info and pedantic notes are shown but pass.
echo "lintian -I -E --pedantic $(basename "$deb"):"
if lintian -I -E --pedantic --fail-on error,warning "$deb"; then
    echo "ok: lintian finds no error or warning"
else
    echo "FAILED: lintian finds errors or warnings"
    status=1
fi
echo "mandoc -T lint fillwright-cli.1:"
mandoc -T lint "$man_page"
if [ $? -lt 2 ]; then  # 1 means style notes only
    echo "ok: mandoc finds no error or warning"
else
    echo "FAILED: mandoc finds errors or warnings"
    status=1
fi
exit $status
