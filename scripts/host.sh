# Sourced by the scripts: facts about this host that decide which Windows build runs.

# Some virtual machines run 64-bit user code only: there a 32-bit x86 program
# (and so 32-bit Wine) cannot start at all. The 64-bit Windows build of the
# same sources then stands in for the 32-bit one under Wine.
host_runs_32bit_x86() {
    local probe=/lib/ld-linux.so.2
    [ -x "$probe" ] && "$probe" --version >/dev/null 2>&1
}

# Which Windows build runs under Wine here: win32 or win64.
wine_build() {
    if [ -n "${FILLWRIGHT_WINE_BUILD:-}" ]; then
        echo "$FILLWRIGHT_WINE_BUILD"
    elif host_runs_32bit_x86; then
        echo win32
    else
        echo win64
    fi
}

# Why the 64-bit stand-in runs rather than the shipped 32-bit exe, or
# nothing when the 32-bit exe runs.
wine_build_reason() {
    [ "$(wine_build)" = win64 ] || return 0
    if [ -n "${FILLWRIGHT_WINE_BUILD:-}" ]; then
        echo "FILLWRIGHT_WINE_BUILD=win64 asks for the 64-bit build of the same sources, not the shipped 32-bit exe"
    else
        echo "this host cannot execute 32-bit x86 code, so 32-bit Wine cannot start here; the 64-bit build of the same sources stands in"
    fi
}
