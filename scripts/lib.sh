# Shared set-up for run.sh, test.sh and the benchmarks: packages, build, Wine prefix,
# virtual display. Source it; every process it starts is ended by cleanup_all.

VINDREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VINDREL_BUILD=${VINDREL_BUILD:-$VINDREL_ROOT/build}
export WINEARCH=win32
export WINEPREFIX=$VINDREL_BUILD/wineprefix
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers (nothing can be downloaded), no desktop menus.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}

VINDREL_PACKAGES=(g++-mingw-w64-i686-posix cmake ninja-build wine wine32:i386 wine64
    libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386 xvfb xauth xdotool googletest python3
    clang libclang-rt-14-dev imagemagick python3-pefile)
# For kernels that refuse 32-bit programs: a small virtual machine runs them instead.
VINDREL_VM_PACKAGES=(qemu-system-x86 linux-image-amd64 busybox-static cpio kmod)

log() { printf '[vindrel] %s\n' "$*" >&2; }

install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

ensure_packages() {
    install_packages "${VINDREL_PACKAGES[@]}"
}

# True when this kernel runs 32-bit programs (some are booted with ia32_emulation=off).
native_i386() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Runs a command where 32-bit Wine works: here, or else in the test machine.
on_wine_host() {
    if native_i386; then
        "$@"
    else
        install_packages "${VINDREL_VM_PACKAGES[@]}"
        log "this kernel does not run 32-bit programs; running in a virtual machine"
        VINDREL_VM_DIR=${VINDREL_VM_DIR:-$VINDREL_BUILD/vm} "$VINDREL_ROOT/scripts/vm-run.sh" "$@"
    fi
}

configure_and_build() {
    if [ ! -f "$VINDREL_BUILD/build.ninja" ]; then
        cmake -S "$VINDREL_ROOT" -B "$VINDREL_BUILD" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$VINDREL_ROOT/cmake/mingw-i686.cmake" "$@" >&2
    fi
    cmake --build "$VINDREL_BUILD" >&2
}

VINDREL_PIDS=()

ensure_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$WINEPREFIX/.vindrel-ready" ]; then
        rm -rf "$WINEPREFIX"
        if [ -n "${VINDREL_PREFIX_TEMPLATE:-}" ] && [ -f "$VINDREL_PREFIX_TEMPLATE/.vindrel-ready" ]; then
            log "copying the Wine prefix from $VINDREL_PREFIX_TEMPLATE"
            cp -a "$VINDREL_PREFIX_TEMPLATE" "$WINEPREFIX"
            return 0
        fi
        log "creating the Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        DISPLAY= wineboot -i >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.vindrel-ready"
    fi
}

# Starts a private Xvfb and exports DISPLAY.
start_xvfb() {
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    VINDREL_PIDS+=($!)
    local number
    read -r -t 30 number <"$fifo" || true
    rm -f "$fifo"
    [ -n "$number" ] || { log "Xvfb did not start"; return 1; }
    export DISPLAY=":$number"
}

# Keeps one wineserver running for the prefix so that each program starts quicker,
# and boots the session once: the services it starts live on and inherit the first
# program's output handles, which would keep a reader of a later program's pipe waiting.
start_wineserver() {
    wineserver -p 2>/dev/null || true
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    # The desktop comes up with the first window; under a slow machine that can take
    # longer than a program waits for it, so make sure it is there before anything runs.
    local wintool=$VINDREL_BUILD/tests/tools/wintool.exe
    if [ -n "${DISPLAY:-}" ] && [ -f "$wintool" ]; then
        for _ in 1 2 3 4 5 6; do
            wine "$wintool" desktop </dev/null >/dev/null 2>&1 && break
            sleep 5
        done
        wine "$wintool" keep-desktop </dev/null >/dev/null 2>&1 &
        VINDREL_PIDS+=($!)
    fi
}

cleanup_all() {
    WINEPREFIX=$WINEPREFIX wineserver -k 2>/dev/null || true
    for pid in "${VINDREL_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${VINDREL_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    VINDREL_PIDS=()
}
