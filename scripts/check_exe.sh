#!/usr/bin/env bash
# Checks the shipped build/win32/fillwright.exe as a file: a 32-bit PE for the
# GUI subsystem that imports only Windows system DLLs and carries its dialog
# template, icon, version and manifest. Runs on any host, including those
# that cannot start it.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
exe=$root/${FILLWRIGHT_BUILD_DIR:-build}/win32/fillwright.exe
dump=$(i686-w64-mingw32-objdump -p "$exe") || { echo "cannot read $exe"; exit 1; }
status=0
expect() {  # description extended-regex
    if grep -q -E "$2" <<<"$dump"; then
        echo "ok: $1"
    else
        echo "FAILED: $1"
        status=1
    fi
}
expect "32-bit PE (PE32)" '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)'
expect "GUI subsystem" '^Subsystem[[:space:]]+00000002'
expect "dialog template, id 1 (RT_DIALOG)" 'Entry: ID: 0x000005'
expect "icon group, id 1 (RT_GROUP_ICON)" 'Entry: ID: 0x00000e'
expect "version resource (RT_VERSION)" 'Entry: ID: 0x000010'
expect "application manifest (RT_MANIFEST)" 'Entry: ID: 0x000018'
imports=$(grep -o -E 'DLL Name: .*' <<<"$dump" | sed 's/DLL Name: //' | tr '[:lower:]' '[:upper:]' | sort | tr '\n' ' ')
echo "imports: $imports"
for dll in $imports; do
    case "$dll" in
        KERNEL32.DLL|USER32.DLL|GDI32.DLL|COMCTL32.DLL|COMDLG32.DLL|MSVCRT.DLL) ;;
        *) echo "FAILED: imports $dll"; status=1 ;;
    esac
done
exit $status
