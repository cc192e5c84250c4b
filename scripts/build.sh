#!/usr/bin/env bash
# Installs what is missing, then configures and builds every build:
#   build/native  Linux: the engine and its tests, benchmarks, command line
#   build/win32   32-bit Windows: fillwright.exe and the Windows test programs
#   build/win64   64-bit Windows: the same sources, for hosts without 32-bit x86
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh

source scripts/configure.sh

# FILLWRIGHT_BUILD_DIR moves every build (and the Wine prefixes) elsewhere.
out=${FILLWRIGHT_BUILD_DIR:-build}
mkdir -p "$out"
configure "$out/native"
configure "$out/win32" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
configure "$out/win64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
for dir in "$out/native" "$out/win32" "$out/win64"; do
    echo "build: $dir"
    ninja -C "$dir" --quiet
done
