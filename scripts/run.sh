#!/usr/bin/env bash
# Installs what is missing, builds, and starts Fillwright under Wine.
# With a display it opens there. Without one it starts a private X server,
# runs the program in a Wine virtual desktop, saves a screenshot to
# build/fillwright.png and stops everything it started.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/build.sh
source scripts/host.sh
build=$(wine_build)
out=${FILLWRIGHT_BUILD_DIR:-build}
exe=$out/$build/fillwright.exe
reason=$(wine_build_reason)
[ -z "$reason" ] || echo "note: $reason."

if [ -n "${DISPLAY:-}" ]; then
    echo "starting $exe on display $DISPLAY"
    exec scripts/wine.sh "$build" "$exe"
fi

source scripts/xserver.sh
export WINEPREFIX=$root/$out/wineprefix-$build
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    stop_private_xserver
}
trap cleanup EXIT
start_private_xserver
scripts/wine.sh "$build" cmd /c exit >/dev/null 2>&1 </dev/null  # first run: makes the Wine prefix
scripts/wine.sh "$build" explorer /desktop=Fillwright,640x400 "$exe" >/dev/null 2>&1 </dev/null &

# Wait for the dialog: the bare desktop is one colour, the dialog adds many.
shot=$out/fillwright.png
for _ in $(seq 1 60); do
    sleep 1
    import -display "$DISPLAY" -window root -crop 640x400+0+0 +repage "$shot" 2>/dev/null || continue
    colours=$(identify -format '%k' "$shot" 2>/dev/null || echo 0)
    if [ "$colours" -gt 8 ]; then
        sleep 1  # let the last controls paint
        import -display "$DISPLAY" -window root -crop 640x400+0+0 +repage "$shot"
        echo "No display: Fillwright ran on a private X server; its screenshot is $shot"
        exit 0
    fi
done
echo "Fillwright did not show its window within 60 seconds" >&2
exit 1
