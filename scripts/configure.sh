# Sourced: configures a build folder once, quietly; its log is shown on failure.
configure() {  # dir [cmake args...]
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        mkdir -p "$(dirname "$dir")"
        cmake -S . -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 || {
            cat "$dir.configure.log"
            exit 1
        }
    fi
}
