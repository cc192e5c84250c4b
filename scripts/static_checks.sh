#!/usr/bin/env bash
# clang-tidy (rules in .clang-tidy) and cppcheck over engine/, system/, json/,
# names/, ui/, drivedialog/, cli/ and drivetest/; clang-format (.clang-format)
# over every C++ file.
# Needs the native and win32 builds configured (scripts/build.sh does it).
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
out=${FILLWRIGHT_BUILD_DIR:-build}
status=0

posix_sources=$(ls engine/*.cpp system/*.cpp json/*.cpp names/*.cpp cli/*.cpp drivetest/*.cpp | grep -v '_win32\.cpp$')
windows_sources="$(ls engine/*_win32.cpp system/*_win32.cpp cli/*_win32.cpp drivetest/*_win32.cpp) $(ls ui/*.cpp drivedialog/*.cpp)"

tidy() {  # build log-name extra-args... -- files...
    local build=$1 log=$out/clang-tidy-$2.log
    shift 2
    if ! clang-tidy -p "$build" --quiet "$@" >"$log" 2>&1; then
        grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated' "$log"
        status=1
    fi
}

echo "clang-tidy: $(echo $posix_sources | wc -w) files with the native build's flags"
tidy "$out/native" native $posix_sources

# The Windows files are checked as the mingw build sees them: its C++ library
# and Windows headers, but clang's own intrinsic headers.
mingw_includes=$(i686-w64-mingw32-g++-posix -E -x c++ - -v </dev/null 2>&1 |
    sed -n '/#include <...> search starts here:/,/End of search list./p' | sed -n 's/^ //p' |
    grep -E 'c\+\+|mingw32/include')
windows_args=(--extra-arg=--target=i686-w64-mingw32 --extra-arg=-nostdinc++)
for dir in $mingw_includes; do windows_args+=("--extra-arg=-isystem$dir"); done
echo "clang-tidy: $(echo $windows_sources | wc -w) files with the win32 build's flags"
tidy "$out/win32" win32 "${windows_args[@]}" $windows_sources

# A POSIX seam file is never built for Windows: it is checked without _WIN32
# (where FileHandle would be a pointer), everything else in every configuration.
cppcheck_args=(--quiet --enable=warning,performance,portability,style --inline-suppr --error-exitcode=1
    --std=c++17 -I engine -I system -I json -I names -I ui -I drivedialog -I resources -I cli -I drivetest
    --suppress=missingIncludeSystem)
echo "cppcheck: engine/, system/, json/, names/, ui/, drivedialog/, cli/ and drivetest/, every configuration" \
    "(POSIX seams without _WIN32)"
if ! cppcheck "${cppcheck_args[@]}" -i system/system_posix.cpp -i cli/cli_platform_posix.cpp \
        -i drivetest/drive_platform_posix.cpp engine system json names ui drivedialog cli drivetest ||
        ! cppcheck "${cppcheck_args[@]}" -U_WIN32 system/system_posix.cpp cli/cli_platform_posix.cpp \
            drivetest/drive_platform_posix.cpp; then
    status=1
fi

# The layout .clang-format gives: a file it would change is named, with the
# first of its changes.
echo "clang-format: every C++ file git tracks"
for file in $(git ls-files '*.cpp' '*.h'); do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
        echo "$file: not as .clang-format lays it out (clang-format -i $file fits it):"
        clang-format "$file" | diff "$file" - | head -n 8
        status=1
    fi
done

[ $status -eq 0 ] && echo "static checks: clean"
exit $status
