# Sourced by scripts/test and scripts/run: a display and one persistent wineserver for a run,
# and a clean-up that stops exactly what was started here.
# Needs: root (project root) and build (build folder) set by the caller.

session_pids=()
session_prefix=""

session_build() {
    "$root/scripts/setup"
    # Under emulation a process start costs about a minute: one test per test program, not per case.
    local each_case=ON
    [ -z "${PNGTEXT_X86_EMULATION:-}" ] || each_case=OFF
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
          -DTEST_EACH_CASE=$each_case >/dev/null
    cmake --build "$build" "$@"
}

# Wine's loader is a 32-bit x86 program. Some machines (virtual machines whose hypervisor runs no 32-bit
# code) cannot start one: "Exec format error". There the calling script starts again under
# scripts/x86-emulation, in which Wine runs under qemu: correct, but each process start costs about a
# minute. Call as session_emulate_x86_if_needed "$0" "$@" after scripts/setup.
session_emulate_x86_if_needed() {
    [ -z "${PNGTEXT_X86_EMULATION:-}" ] || return 0
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 && return 0
    echo "note: this machine starts no 32-bit x86 program itself; Wine runs under emulation (much slower)," \
         "and the tests run one process per test program, leaving out the cases that start more programs" >&2
    exec "$root/scripts/x86-emulation" "$@"
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
    # The prefix first: preparing a new one waits for its server to end, which a persistent one never does.
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
