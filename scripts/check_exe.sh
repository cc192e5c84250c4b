#!/usr/bin/env bash
# Checks the shipped 32-bit programs, build/win32/fillwright.exe and
# fillwright-drivetest.exe, as files: each a 32-bit PE for the GUI subsystem
# that imports only Windows system DLLs and carries its dialog
# template, icon, version and manifest. Runs on any host, including those
# that cannot start it.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
status=0
# Each shipped GUI program: fillwright.exe and fillwright-drivetest.exe.
check_program() {  # EXE
    local exe=$1 dump imports dll
    echo "$(basename "$exe"):"
    dump=$(i686-w64-mingw32-objdump -p "$exe") || { echo "FAILED: cannot read $exe"; status=1; return; }
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
    expect "dialog template (RT_DIALOG)" 'Entry: ID: 0x000005'
    expect "icon group (RT_GROUP_ICON)" 'Entry: ID: 0x00000e'
    expect "version resource (RT_VERSION)" 'Entry: ID: 0x000010'
    expect "application manifest (RT_MANIFEST)" 'Entry: ID: 0x000018'
    imports=$(grep -o -E 'DLL Name: .*' <<<"$dump" | sed 's/DLL Name: //' | tr '[:lower:]' '[:upper:]' | sort | tr '\n' ' ')
    echo "imports: $imports"
    for dll in $imports; do
        case "$dll" in
            KERNEL32.DLL|USER32.DLL|GDI32.DLL|COMCTL32.DLL|COMDLG32.DLL|SHELL32.DLL|MSVCRT.DLL) ;;
            *) echo "FAILED: imports $dll"; status=1 ;;
        esac
    done
}
for program in fillwright fillwright-drivetest; do
    check_program "$root/${FILLWRIGHT_BUILD_DIR:-build}/win32/$program.exe"
done
exit $status
