# Sourced by the scripts that build and run the program (test, run, package, bench/peers): the two
# builds, a display and one persistent wineserver for a run, and a clean-up that stops exactly what was
# started here.
# Needs: root (project root). Sets: build (the folder that holds the builds and the Wine prefix:
# BUILD_DIR, default root/build), prefix (the one Wine prefix of both builds).
#
# The builds: x86, the 32-bit program (the product), in build/x86; x64, the same source for x86-64, in
# build/x64. 64-bit Wine runs natively on every machine here; 32-bit code runs natively on some and only
# under scripts/machine/x86-emulation on others.

build=${BUILD_DIR:-$root/build}
prefix="$build/wine-prefix"
session_pids=()
session_wine_started=0
. "$root/scripts/wine-env.sh"

# How this machine runs 32-bit code: native, emulated (inside the emulation) or no.
session_x86=$("$root/scripts/machine/runs-x86" || true)

session_build_dir() { echo "$build/$1"; }

# Configures and builds one build (x86 or x64); extra arguments go to cmake --build.
session_build() {
    local arch=$1 toolchain under_emulation=OFF
    shift
    case $arch in
        x86) toolchain=mingw-i686.cmake ;;
        x64) toolchain=mingw-x86_64.cmake ;;
        *) echo "session_build: no build named $arch (x86 or x64)" >&2; return 2 ;;
    esac
    # Where the 32-bit tests run under emulation, each process start costs about a minute: the build
    # lists one test per test program and a smoke of the real programs instead of every case.
    [ "$arch" = x86 ] && [ "$session_x86" != native ] && under_emulation=ON
    cmake -S "$root" -B "$build/$arch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
          -DWINE_PREFIX="$prefix" -DTESTS_UNDER_EMULATION=$under_emulation >/dev/null
    cmake --build "$build/$arch" "$@"
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

# Prepares the prefix (with --x86 its 32-bit half too) and keeps one wineserver alive for it, so each
# process start is cheap.
session_start_wine() {
    # The prefix first: preparing it waits for its server to end, which a persistent one never does.
    "$root/scripts/wine-prefix" "$@" "$prefix"
    wine_use_prefix "$prefix"
    # The session's `wine` takes each program's own loader (scripts/bin/wine).
    export PATH="$root/scripts/bin:$PATH"
    # A server already running for this prefix (a program left open by scripts/run) makes a second
    # one wait for it; that server serves this session too.
    timeout 15 wineserver -p || true
    session_wine_started=1
    # Start Wine's own service processes now, detached from our output: started by the first test,
    # they would inherit ctest's pipes and keep it waiting after the test has ended.
    "$wine_loader64" cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
}

session_stop() {
    if [ "$session_wine_started" -eq 1 ]; then
        WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
        session_wine_started=0
    fi
    local pid
    for pid in "${session_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    session_pids=()
}
