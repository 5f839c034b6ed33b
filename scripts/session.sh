# Sourced by scripts/test and scripts/run: a display and one persistent wineserver for a run,
# and a clean-up that stops exactly what was started here.
# Needs: root (project root) and build (build folder) set by the caller.

session_pids=()
session_prefix=""

session_build() {
    "$root/scripts/setup"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
    cmake --build "$build" "$@"
}

# Starts Xvfb on a free display number; sets DISPLAY.
session_start_display() {
    local fifo display
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    session_pids+=($!)
    read -r -t 20 display <"$fifo" || { rm -f "$fifo"; echo "Xvfb did not start" >&2; return 1; }
    rm -f "$fifo"
    export DISPLAY=":$display"
}

# Prepares the prefix and keeps one wineserver alive for it, so each process start is cheap.
session_start_wine() {
    session_prefix="$build/wineprefix"
    "$root/scripts/wine-prefix" "$session_prefix"
    export WINEPREFIX="$session_prefix" WINEDEBUG=-all
    # A server already running for this prefix (a program left open by scripts/run) makes a second
    # one wait for it; that server serves this session too.
    timeout 15 wineserver -p || true
    # Start Wine's own service processes now, detached from our output: started by the first test,
    # they would inherit ctest's pipes and keep it waiting after the test has ended.
    wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
}

session_stop() {
    if [ -n "$session_prefix" ]; then
        WINEPREFIX="$session_prefix" wineserver -k 2>/dev/null || true
        session_prefix=""
    fi
    local pid
    for pid in "${session_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    session_pids=()
}
