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
    qemu-user-static)

log() { printf '[vindrel] %s\n' "$*" >&2; }

ensure_packages() {
    local missing=()
    for p in "${VINDREL_PACKAGES[@]}"; do
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

# Some kernels are built or booted without 32-bit user space ("ia32_emulation=off").
# Wine's 32-bit loader then cannot start; run i386 programs through qemu's user-mode
# emulator instead, registered for i386 ELF files.
ensure_i386_exec() {
    /usr/lib/wine/wine --version >/dev/null 2>&1 && return 0
    log "this kernel does not run 32-bit programs; registering qemu-i386 for them"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    [ -e /proc/sys/fs/binfmt_misc/register ] ||
        $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
            $sudo tee /proc/sys/fs/binfmt_misc/register >/dev/null
    fi
    /usr/lib/wine/wine --version >/dev/null 2>&1 || { log "cannot run 32-bit programs here"; return 1; }
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

# Keeps one wineserver running for the prefix so that each program starts quicker.
start_wineserver() {
    wineserver -p 2>/dev/null || true
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
