# Sourced by the scripts that start Wine: one 64-bit prefix serves both builds (its 32-bit half runs the
# 32-bit program), and each program gets the loader of its own processor.
# Provides: wine_use_prefix PREFIX, wine_loader_for PROGRAM, wine_run PROGRAM [ARGS...].

wine_loader64=/usr/lib/wine/wine64
wine_loader32=/usr/lib/wine/wine

# Exports what every Wine process of this prefix needs. The 64-bit loader is the prefix's own; the
# 32-bit one is only taken for 32-bit programs (Debian's /usr/bin/wine tries it first for everything,
# which fails where 32-bit code does not run).
wine_use_prefix() {
    export WINEPREFIX="$1" WINEARCH=win64 WINELOADER="$wine_loader64" WINEDEBUG=-all
}

# The loader for PROGRAM: the 32-bit one for a PE32 image on disk (machine 0x14c), else the 64-bit one
# (x86-64 images and the names of Wine's own programs, such as cmd.exe).
wine_loader_for() {
    local program=$1 offset machine
    if [ -f "$program" ]; then
        offset=$(od -An -t u4 -j 60 -N 4 -- "$program" 2>/dev/null | tr -d ' ')
        if [ -n "$offset" ]; then
            machine=$(od -An -t x2 -j $((offset + 4)) -N 2 -- "$program" 2>/dev/null | tr -d ' ')
            if [ "$machine" = 014c ]; then
                echo "$wine_loader32"
                return
            fi
        fi
    fi
    echo "$wine_loader64"
}

wine_run() {
    "$(wine_loader_for "$1")" "$@"
}
