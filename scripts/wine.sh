#!/usr/bin/env bash
# Runs a Windows program under one of the project's own quiet Wine prefixes
# (never ~/.wine):  wine.sh win32|win64 PROGRAM [ARGS...]
# Creates and tunes the prefix on first use.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
arch=$1
shift
case "$arch" in
    win32) loader=/usr/lib/wine/wine ;;
    win64) loader=/usr/lib/wine/wine64 ;;
    *) echo "usage: wine.sh win32|win64 PROGRAM [ARGS...]" >&2; exit 2 ;;
esac
export WINEARCH=$arch
out=$root/${FILLWRIGHT_BUILD_DIR:-build}
export WINEPREFIX=$out/wineprefix-$arch
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINELOADER=$loader
# Wine names Linux files in the locale's character set: in the C locale
# (ASCII) it refuses every name outside ASCII, such as the UTF-8 names the
# programs take.
case "$(locale charmap 2>/dev/null)" in
    UTF-8) ;;
    *) export LC_ALL=C.UTF-8 ;;
esac

if [ ! -f "$WINEPREFIX/.fillwright-ready" ]; then
    mkdir -p "$out"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.fillwright-ready" ]; then
            "$loader" wineboot -i >/dev/null 2>&1 || true
            # Unmanaged windows: without a window manager Wine otherwise waits
            # about two seconds on every window it hides.
            "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
            # A crash must end the process, not leave a debugger dialog open.
            "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
            wineserver -w
            touch "$WINEPREFIX/.fillwright-ready"
        fi
    ) 9>"$out/wineprefix-$arch.lock"
fi
# This Wine does not load the fonts-wine folder: without Marlett in the
# prefix the caption buttons are drawn as the letters "0 1 r".
fonts=$WINEPREFIX/drive_c/windows/Fonts
if [ ! -f "$fonts/marlett.ttf" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    mkdir -p "$fonts"
    cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
fi
exec "$loader" "$@"
