# Sourced: starts and stops a private Xvfb display for the GUI runs.
xserver_pid=
start_private_xserver() {
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    xserver_pid=$!
    local number
    if ! read -r -t 20 number <"$fifo"; then
        echo "could not start Xvfb" >&2
        rm -f "$fifo"
        return 1
    fi
    rm -f "$fifo"
    export DISPLAY=:$number
}
stop_private_xserver() {
    [ -n "$xserver_pid" ] && kill "$xserver_pid" 2>/dev/null
    xserver_pid=
}
