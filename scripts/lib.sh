# Shared set-up for run.sh, test.sh, the benchmarks and the screenshot script:
# packages, build, Wine prefixes and the private session. Source it.

VINDREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VINDREL_BUILD=${VINDREL_BUILD:-$VINDREL_ROOT/build}
source "$VINDREL_ROOT/scripts/wine-env.sh"
# Wine's, ALSA's, Xvfb's, apt's and the build's output; each entry script names its own.
export VINDREL_LOG=${VINDREL_LOG:-$VINDREL_BUILD/logs/vindrel.log}

# What building and running need; the test suite adds its own.
VINDREL_PACKAGES=(g++-mingw-w64-i686-posix cmake ninja-build nlohmann-json3-dev wine wine32:i386 wine64
    libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386 xvfb xauth xdotool python3)
VINDREL_TEST_PACKAGES=(googletest clang libclang-rt-14-dev python3-pefile)
# For kernels that refuse 32-bit programs: a small virtual machine runs them instead.
VINDREL_VM_PACKAGES=(qemu-system-x86 linux-image-amd64 busybox-static cpio kmod)

log() { printf '[vindrel] %s\n' "$*" >&2; }

# A failure is reported once, by whichever shell meets it first: nested scripts and
# subshells share this mark.
export VINDREL_FAIL_MARK=${VINDREL_FAIL_MARK:-$VINDREL_BUILD/logs/.failed-$$}

# start_log NAME: this command's log is build/logs/NAME.log, emptied.
start_log() {
    VINDREL_LOG=$VINDREL_BUILD/logs/$1.log
    mkdir -p "$VINDREL_BUILD/logs"
    : >"$VINDREL_LOG"
    local mark
    for mark in "$VINDREL_BUILD"/logs/.failed-*; do
        [ -e "$mark" ] && ! kill -0 "${mark##*-}" 2>/dev/null && rm -f "$mark"
    done
    # Each command a user starts reports its own failures, also when a test starts it.
    export VINDREL_FAIL_MARK=$VINDREL_BUILD/logs/.failed-$$
    rm -f "$VINDREL_FAIL_MARK"
}

# fail WHAT: says what failed, where the log is and how it ends.
fail() {
    mark_failed
    log "$*; the log is $VINDREL_LOG, ending with:"
    tail -n 25 "$VINDREL_LOG" 2>/dev/null | sed 's/^/    /' >&2
}

mark_failed() { mkdir -p "${VINDREL_FAIL_MARK%/*}" && : >"$VINDREL_FAIL_MARK"; }
failed_already() { [ -e "$VINDREL_FAIL_MARK" ]; }

# Nothing stops a script silently: a failing command that ends it (in a function or a
# command substitution too) is named with its place, unless it was reported already.
on_error() {
    failed_already || fail "\"$2\" failed (status $1, ${3#"$VINDREL_ROOT/"} line $4)"
}
if [[ $- == *e* ]]; then
    set -E
    shopt -s inherit_errexit
    trap 'on_error $? "$BASH_COMMAND" "${BASH_SOURCE[0]:-$0}" "$LINENO"' ERR
fi

# The entry scripts' arguments: each sets VINDREL_USAGE before it does any work.
# usage_error WHY: says why and how to call it, and stops with status 2.
usage_error() {
    log "$*"
    printf '%s\n' "$VINDREL_USAGE" >&2
    exit 2
}

# check_usage ARG: answers -h and --help with the usage; refuses any other argument.
check_usage() {
    case $1 in
    -h | --help) printf '%s\n' "$VINDREL_USAGE"; exit 0 ;;
    -*) usage_error "unknown option: $1" ;;
    *) usage_error "unexpected argument: $1" ;;
    esac
}

# bench_runs DEFAULT [ARG...]: the benchmarks' one argument, the number of runs, in $runs.
bench_runs() {
    local default=$1 arg
    shift
    for arg in "$@"; do [[ $arg != -* ]] || check_usage "$arg"; done
    [ $# -le 1 ] || usage_error "one argument at most: the number of runs"
    runs=${1:-$default}
    [[ $runs =~ ^[1-9][0-9]*$ ]] || usage_error "the number of runs is a whole number from 1, not $runs"
}

# check_ctest_arguments ARG...: ctest ignores options it does not know, so test.sh lets
# through only those that choose, show or repeat tests; the first list takes a value.
check_ctest_arguments() {
    local valued plain arg value=
    valued=" -R --tests-regex -E --exclude-regex -L --label-regex -LE --label-exclude -I --tests-information
        -FA --fixture-exclude-any -FS --fixture-exclude-setup -FC --fixture-exclude-cleanup -j --parallel
        -O --output-log --output-junit --timeout --repeat --test-output-size-passed --test-output-size-failed "
    plain=" -U --union -N --show-only -V --verbose -VV --extra-verbose -Q --quiet --output-on-failure
        --stop-on-failure --rerun-failed --schedule-random --print-labels --no-label-summary --progress "
    valued=" $(printf '%s ' $valued)" plain=" $(printf '%s ' $plain)"
    for arg in "$@"; do
        if [ -n "$value" ]; then
            value=
        elif [[ $arg == -j[0-9]* || ($arg == --*=* && $valued == *" ${arg%%=*} "*) ]]; then
            :
        elif [[ $valued == *" $arg "* ]]; then
            value=$arg
        elif [[ $plain != *" $arg "* ]]; then
            case $arg in
            -h | --help) check_usage "$arg" ;;
            -*) usage_error "unknown option: $arg (not one of ctest's that choose, show or repeat tests)" ;;
            *) usage_error "unexpected argument: $arg (a test name goes after -R)" ;;
            esac
        fi
    done
    [ -z "$value" ] || usage_error "$value needs a value"
}

# logged COMMAND...: runs COMMAND with its output in the log and returns its status.
# The session lock (descriptor 9) is not handed down; a signal cuts the wait short.
logged() {
    mkdir -p "$(dirname "$VINDREL_LOG")"
    waited "$@" </dev/null >>"$VINDREL_LOG" 2>&1 9>&-
}

# quietly WHAT COMMAND...: logged, and a failure is said.
quietly() {
    local what=$1 status=0
    shift
    logged "$@" || status=$?
    [ "$status" -eq 0 ] || fail "$what failed (status $status)"
    return "$status"
}

# missing_packages PACKAGE...: those of them that are not installed, one a line.
missing_packages() {
    local have native p
    native=:$(dpkg --print-architecture)
    # dpkg-query exits 1 when any of them is not installed; it lists the others all the same.
    # Packages of several architectures are listed as NAME:ARCH, the native one too.
    have=$({ dpkg-query -W -f='${binary:Package} ${db:Status-Abbrev}\n' "$@" 2>/dev/null || true; } |
        awk -v native="$native" '$2 == "ii" {
            print $1
            n = length($1) - length(native)
            if (n > 0 && substr($1, n + 1) == native) print substr($1, 1, n)
        }')
    for p in "$@"; do
        grep -qxF "$p" <<<"$have" || echo "$p"
    done
}

install_packages() {
    local list missing=() sudo=() arch=() apt=(apt-get -o Acquire::Retries=3)
    list=$(missing_packages "$@")
    [ -n "$list" ] || return 0
    mapfile -t missing <<<"$list"
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
        ! dpkg --print-foreign-architectures | grep -qx i386; then
        arch=(dpkg --add-architecture i386)
    fi
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            mark_failed
            log "missing packages: ${missing[*]}; this user is not root and there is no sudo;" \
                "as root, run: ${arch[*]}${arch:+ && }apt-get update && apt-get install --no-install-recommends ${missing[*]}"
            return 1
        fi
        sudo=(sudo)
    fi
    log "installing ${missing[*]}"
    if [ ${#arch[@]} -gt 0 ]; then
        quietly "adding the i386 architecture" "${sudo[@]}" "${arch[@]}" || return
    fi
    # A mirror caught mid-sync answers a file of the wrong size now and then: apt tries
    # again, and a list it still cannot fetch need not stop the install.
    logged "${sudo[@]}" "${apt[@]}" update ||
        log "apt-get update failed for some package lists (see $VINDREL_LOG); installing with those apt has"
    quietly "installing ${missing[*]}" "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
}

ensure_packages() {
    install_packages "${VINDREL_PACKAGES[@]}"
}

# True when this kernel runs 32-bit programs (some are booted with ia32_emulation=off).
native_i386() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# True when Windows programs run here; VINDREL_VM=1 sends them to the test machine
# even where this kernel could run them, so that path can be tried anywhere.
wine_here() {
    [ "${VINDREL_VM:-0}" != 1 ] && native_i386
}

# True where the private session is the test machine (scripts/vm-run.sh), not one here.
in_machine() {
    [ -n "${VINDREL_IN_MACHINE:-}" ] || { VINDREL_IN_MACHINE=no; [ -n "${VINDREL_GUEST:-}" ] || wine_here || VINDREL_IN_MACHINE=yes; }
    [ "$VINDREL_IN_MACHINE" = yes ]
}

# Runs a command where 32-bit Wine works: here, or else in the test machine.
on_wine_host() {
    if in_machine; then
        "$VINDREL_ROOT/scripts/vm-run.sh" "$@"
    else
        "$@"
    fi
}

# configure_and_build [TARGET...]: configures build/ once and builds the targets, or
# everything, the tests included, when none is named. Only the tests need GoogleTest.
configure_and_build() {
    local testing=OFF
    [ $# -eq 0 ] && testing=ON
    if [ ! -f "$VINDREL_BUILD/build.ninja" ]; then
        log "configuring $VINDREL_BUILD"
        quietly "configuring" cmake -S "$VINDREL_ROOT" -B "$VINDREL_BUILD" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$VINDREL_ROOT/cmake/mingw-i686.cmake" -DBUILD_TESTING=$testing || return
    elif [ $testing = ON ] && grep -qx 'BUILD_TESTING:BOOL=OFF' "$VINDREL_BUILD/CMakeCache.txt"; then
        quietly "configuring the tests" cmake -B "$VINDREL_BUILD" -DBUILD_TESTING=ON || return
    fi
    if [ $# -eq 0 ]; then
        quietly "building" cmake --build "$VINDREL_BUILD"
    else
        quietly "building $*" cmake --build "$VINDREL_BUILD" --target "$@"
    fi
}

# ensure_prefix: creates $WINEPREFIX, a 32-bit prefix, unless it is ready.
ensure_prefix() {
    [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/.vindrel-ready" ] && return 0
    rm -rf "$WINEPREFIX"
    if [ -n "${VINDREL_PREFIX_TEMPLATE:-}" ] && [ -f "$VINDREL_PREFIX_TEMPLATE/.vindrel-ready" ]; then
        log "copying the Wine prefix from $VINDREL_PREFIX_TEMPLATE"
        cp -a "$VINDREL_PREFIX_TEMPLATE" "$WINEPREFIX"
        return 0
    fi
    log "creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # wineboot's status says little; the prefix it leaves is what counts.
    logged env -u DISPLAY wineboot -i || true
    logged wineserver -w || true
    [ -f "$WINEPREFIX/system.reg" ] || { fail "wineboot made no prefix"; return 1; }
    touch "$WINEPREFIX/.vindrel-ready"
}

# The private display has no window manager, and Wine waits about 2 s for one each
# time a managed window is hidden. Only the private prefix turns managed windows off.
# A crashing test program gets a backtrace in its output, not a crash dialog that
# nobody can close and that holds the test until its time-out.
prepare_private_prefix() {
    [ -f "$WINEPREFIX/.vindrel-private" ] && return 0
    quietly "turning managed windows off" env -u DISPLAY \
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f || return
    quietly "turning the crash dialog off" env -u DISPLAY \
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f || return
    logged wineserver -w || true
    touch "$WINEPREFIX/.vindrel-private"
}

# The private session: a virtual display, the private prefix's wineserver and Wine's
# desktop, in build/session. Runs join it with use_session and leave it on exit; it
# ends by itself VINDREL_SESSION_IDLE seconds after its last user left (0: at once),
# so that a run soon after the last one pays no start-up. Under CI it ends at once.
VINDREL_SESSION=$VINDREL_BUILD/session${VINDREL_GUEST:+/guest}
if [ -n "${CI:-}" ]; then
    VINDREL_SESSION_IDLE=${VINDREL_SESSION_IDLE:-0}
else
    VINDREL_SESSION_IDLE=${VINDREL_SESSION_IDLE:-45}
fi

# alive PID PATTERN: PID is a running process (not a zombie) whose name matches PATTERN.
alive() {
    local name state
    [ -n "$1" ] && name=$(cat "/proc/$1/comm" 2>/dev/null) || return 1
    read -r _ _ state _ 2>/dev/null <"/proc/$1/stat" && [ "$state" != Z ] || return 1
    # shellcheck disable=SC2254
    case "$name" in $2) return 0 ;; esac
    return 1
}

# proc_start PID: the start time of a running process (clock ticks since boot), which
# tells it from a later process that got the same PID.
proc_start() {
    local line
    read -r line 2>/dev/null <"/proc/$1/stat" || return 1
    # shellcheck disable=SC2086
    set -- ${line##*) }
    [ "$1" != Z ] && echo "${20}"
}

# The limit of every wait for another run of this build folder (seconds).
VINDREL_TURN_WAIT=${VINDREL_TURN_WAIT:-1800}

# Takes the session lock on descriptor 9, waiting at most VINDREL_TURN_WAIT seconds.
# The test machine's shared folders may not lock; one run at a time uses its session
# there.
session_lock() {
    exec 9>"$VINDREL_SESSION/lock" || return 1
    local status=0
    waited flock -x -w "$VINDREL_TURN_WAIT" -E 75 9 2>/dev/null || status=$?
    [ "$status" -ne 75 ] && return 0
    exec 9>&-
    log "waited $VINDREL_TURN_WAIT s for the lock of the session in $VINDREL_SESSION; giving up"
    return 1
}

session_pid() { cat "$VINDREL_SESSION/$1.pid" 2>/dev/null || true; }

# The session's Xvfb: started in build/session, which tells it from any other.
session_xvfb() {
    local pid
    pid=$(session_pid xvfb)
    alive "$pid" Xvfb && [ "$(readlink "/proc/$pid/cwd")" = "$(cd "$VINDREL_SESSION" && pwd -P)" ] && echo "$pid"
}

session_alive() {
    if in_machine; then
        [ -f "$VINDREL_SESSION/ready" ] && alive "$(session_pid qemu)" 'qemu-system*'
    else
        [ -f "$VINDREL_SESSION/display" ] && [ -n "$(session_xvfb)" ] && alive "$(session_pid server)" 'wineserver*'
    fi
}

# True while a user of the session is running; forgets users that are gone. Each user
# file holds its process's start time, so a reused PID is no user.
session_in_use() {
    local user used=1
    for user in "$VINDREL_SESSION"/users/*; do
        [ -e "$user" ] || continue
        if [ "$(proc_start "${user##*/}" || true)" = "$(cat "$user" 2>/dev/null)" ]; then used=0; else rm -f "$user"; fi
    done
    return $used
}

# note_leader PID: records a process that start_session started in a session (setsid)
# of its own, with its start time, in build/session/leaders. Everything in those
# sessions (the Wine services, the desktop) belongs to the private session.
note_leader() {
    echo "$1 $(proc_start "$1" || echo gone)" >>"$VINDREL_SESSION/leaders"
}

# end_sessions_of "PID START"...: ends every process in the sessions those leaders
# started: TERM, then KILL what is left after 2 s. A session whose leader's PID now
# belongs to another process is left alone unless its leader is still the one recorded.
end_sessions_of() {
    local -A sids=()
    local entry pid start line f i
    local -a found
    for entry in "$@"; do
        pid=${entry%% *} start=${entry#* }
        [ -n "$pid" ] || continue
        line=$(proc_start "$pid" || true)
        [ -z "$line" ] || [ "$line" = "$start" ] || continue
        sids[$pid]=1
    done
    [ ${#sids[@]} -gt 0 ] || return 0
    for i in $(seq 21); do
        found=()
        for f in /proc/[0-9]*/stat; do
            read -r line 2>/dev/null <"$f" || continue
            # shellcheck disable=SC2086
            set -- ${line##*) }
            [ "$1" != Z ] && [ -n "${sids[$4]:-}" ] && found+=("${f//[^0-9]/}")
        done
        [ ${#found[@]} -gt 0 ] || return 0
        if [ "$i" = 1 ]; then kill -TERM "${found[@]}" 2>/dev/null || true
        elif [ "$i" = 21 ]; then kill -KILL "${found[@]}" 2>/dev/null || true
        else sleep 0.1; fi
    done
}

# end_wine_of PREFIX: ends the Windows programs and Wine's own processes that run with
# WINEPREFIX=PREFIX. Wine starts its services in sessions of their own, and with the
# prefix gone "wineserver -k" cannot find them; their environment still names it.
end_wine_of() {
    local environ pid name found=()
    for environ in $(grep -lzxF "WINEPREFIX=$1" /proc/[0-9]*/environ 2>/dev/null || true); do
        pid=${environ//[^0-9]/}
        name=$(cat "/proc/$pid/comm" 2>/dev/null) || continue
        case $name in *.exe | wine*) found+=("$pid") ;; esac
    done
    [ ${#found[@]} -gt 0 ] || return 0
    kill -TERM "${found[@]}" 2>/dev/null || true
    sleep 2
    kill -KILL "${found[@]}" 2>/dev/null || true
}

# Starts the session's processes, each in a session of its own (a Ctrl-C of the run
# that started them does not end them), in build/session (not the caller's folder).
start_session() {
    in_machine && { start_machine; return; }
    local dir=$VINDREL_SESSION log=$VINDREL_BUILD/logs/session.log
    local wintool=$VINDREL_BUILD/tests/tools/wintool.exe fifo number=""
    mkdir -p "$VINDREL_BUILD/logs"
    : >"$log"
    rm -f "$dir/leaders"
    # Not in build/: the test machine shares it over 9p, which holds no FIFO.
    fifo=$(mktemp -d "${TMPDIR:-/tmp}/vindrel-display.XXXXXX")/displayfd
    mkfifo "$fifo"
    (cd "$dir" && exec setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
        3>"$fifo" </dev/null >>"$log" 2>&1 9>&-) &
    echo $! >"$dir/xvfb.pid"
    note_leader $!
    read -r -t 30 number <"$fifo" || true
    rm -rf "$(dirname "$fifo")"
    if [ -z "$number" ]; then
        VINDREL_LOG=$log fail "the virtual display did not start"
        return 1
    fi
    export DISPLAY=":$number"
    (cd "$dir" && exec setsid wineserver -f -p </dev/null >>"$log" 2>&1 9>&-) &
    echo $! >"$dir/server.pid"
    note_leader $!
    # Boots the session once: the services it starts live on.
    (cd "$dir" && exec setsid wine cmd /c exit </dev/null >>"$log" 2>&1 9>&-) &
    note_leader $!
    wait $! || true
    # The desktop comes up with the first window; under a slow machine that can take
    # longer than a program waits for it, so make sure it is there before anything runs,
    # and keep it up with a hidden window.
    local tries
    for tries in 1 2 3 4 5 6; do
        (cd "$dir" && exec setsid wine "$wintool" desktop </dev/null >>"$log" 2>&1 9>&-) &
        note_leader $!
        wait $! && break
        [ $tries = 6 ] || waited sleep 5
    done
    (cd "$dir" && exec setsid wine "$wintool" keep-desktop </dev/null >>"$log" 2>&1 9>&-) &
    note_leader $!
    echo "$DISPLAY" >"$dir/display"
    touch "$dir/used"
}

# The test machine's first stage: busybox, its init and the 9p modules, for the
# newest kernel in /boot.
machine_initrd() {
    local kernel version initrd root m name
    kernel=$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1)
    [ -n "$kernel" ] || { fail "no kernel in /boot for the test machine (install linux-image-amd64)"; return 1; }
    version=${kernel#/boot/vmlinuz-} initrd=$VINDREL_BUILD/vm/initrd-${kernel#/boot/vmlinuz-}.cpio.gz
    echo "$kernel $initrd"
    [ ! -f "$initrd" ] || [ "$VINDREL_ROOT/scripts/vm/init" -nt "$initrd" ] || return 0
    root=$(mktemp -d)
    mkdir -p "$root/bin" "$root/modules" "${initrd%/*}"
    cp /bin/busybox "$root/bin/busybox"
    cp "$VINDREL_ROOT/scripts/vm/init" "$root/init"
    for m in $(for name in virtio_pci 9pnet_virtio 9p; do modprobe -S "$version" --show-depends "$name"; done |
        awk '$1 == "insmod" && !seen[$2]++ {print $2}'); do
        name=${m##*/}
        case $name in
        *.ko.xz) xz -dc "$m" >"$root/modules/${name%.xz}" ;;
        *.ko.zst) zstd -qdc "$m" >"$root/modules/${name%.zst}" ;;
        *) cp "$m" "$root/modules/$name" ;;
        esac
        echo "${name%.ko*}.ko" >>"$root/modules.list"
    done
    (cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$initrd.new"
    mv "$initrd.new" "$initrd"
    rm -rf "$root"
}

# Boots the test machine, whose second stage (scripts/vm/guest-runner.sh) starts the
# private session inside it and then waits for jobs (vm-run.sh). The folders it needs
# beyond its standard binds are named on its command line.
start_machine() {
    local dir=$VINDREL_SESSION log=$VINDREL_BUILD/logs/machine.log boot
    install_packages "${VINDREL_VM_PACKAGES[@]}" || return
    boot=$(machine_initrd) || return
    mkdir -p "$dir/jobs" "$VINDREL_BUILD/logs"
    log "starting the test machine (this kernel does not run 32-bit programs, or VINDREL_VM=1)"
    # shellcheck disable=SC2086
    (cd "$dir" && exec setsid qemu-system-x86_64 -machine q35 -cpu max,-smap \
        -smp "${VINDREL_VM_CPUS:-$(nproc)}" -m "${VINDREL_VM_MEMORY:-4096}" -kernel ${boot% *} -initrd ${boot#* } \
        -append "console=ttyS0 quiet panic=-1 vindrel.runner=$VINDREL_ROOT/scripts/vm/guest-runner.sh vindrel.state=$dir vindrel.build=$VINDREL_BUILD vindrel.binds=$VINDREL_ROOT:$VINDREL_BUILD" \
        -virtfs local,path=/,mount_tag=hostroot,security_model=passthrough,id=hostroot \
        -virtfs local,path=/,mount_tag=hostlive,security_model=passthrough,id=hostlive \
        -nographic -no-reboot -nic none -serial "file:$dir/console" -monitor none </dev/null >/dev/null 2>>"$log" 9>&-) &
    echo $! >"$dir/qemu.pid"
    note_leader $!
    until [ -f "$dir/ready" ]; do
        if [ -f "$dir/failed" ] || ! alive "$(session_pid qemu)" 'qemu-system*'; then
            VINDREL_LOG=$log fail "the test machine did not start its session (its console: $dir/console)"
            return 1
        fi
        waited sleep 0.2
    done
}

# Starts the session's keeper (session_keeper) unless it runs or is not wanted.
start_keeper() {
    [ "$VINDREL_SESSION_IDLE" != 0 ] || return 0
    alive "$(session_pid keeper)" bash && return 0
    (cd "$VINDREL_SESSION" && VINDREL_BUILD=$VINDREL_BUILD VINDREL_SESSION_IDLE=$VINDREL_SESSION_IDLE \
        exec setsid bash -c 'source "$1" && session_keeper' _ "$VINDREL_ROOT/scripts/lib.sh" \
        </dev/null >>"$VINDREL_BUILD/logs/session.log" 2>&1 9>&-) &
    echo $! >"$VINDREL_SESSION/keeper.pid"
}

# Ends the session's processes; the caller holds the session lock.
end_session_locked() {
    local dir=$VINDREL_SESSION pid i leaders=()
    pid=$(session_pid qemu)
    if [ -f "$dir/ready" ] && alive "$pid" 'qemu-system*'; then
        # The machine saves its prefix and powers off; TERM ends it otherwise.
        : >"$dir/poweroff"
        for i in $(seq 100); do alive "$pid" 'qemu-system*' || break; sleep 0.1; done
    fi
    pid=$(session_pid server)
    if alive "$pid" 'wineserver*'; then
        WINEPREFIX=$VINDREL_BUILD/wineprefix wineserver -k 9>&- 2>/dev/null || true
        for i in $(seq 50); do alive "$pid" 'wineserver*' || break; sleep 0.1; done
    fi
    pid=$(session_xvfb || true)
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        for i in $(seq 50); do alive "$pid" Xvfb || break; sleep 0.1; done
    fi
    [ ! -f "$dir/leaders" ] || mapfile -t leaders <"$dir/leaders"
    end_sessions_of "${leaders[@]}"
    rm -rf "$dir/display" "$dir/xvfb.pid" "$dir/server.pid" "$dir/keeper.pid" "$dir/leaders" "$dir"/users/* \
        "$dir/qemu.pid" "$dir/ready" "$dir/failed" "$dir/poweroff" "$dir/jobs"
}

# use_session: joins the private session, starting one when none is up (with the
# private prefix), and exports its DISPLAY. Call leave_session on exit.
use_session() {
    mkdir -p "$VINDREL_SESSION/users"
    session_lock || exit 1
    if ! session_alive; then
        # An interrupted start ends what it started (cleanup_all).
        VINDREL_STARTING=1
        end_session_locked
        local -x WINEPREFIX=$VINDREL_BUILD/wineprefix
        if ! { { in_machine || { ensure_prefix && prepare_private_prefix; }; } && start_session; }; then
            end_session_locked
            VINDREL_STARTING=""
            exec 9>&-
            return 1
        fi
        VINDREL_STARTING=""
    fi
    start_keeper
    if ! in_machine; then
        DISPLAY=$(cat "$VINDREL_SESSION/display")
        export DISPLAY
    fi
    proc_start $$ >"$VINDREL_SESSION/users/$$"
    exec 9>&-
}

leave_session() {
    local dir=$VINDREL_SESSION
    [ -f "$dir/users/$$" ] || return 0
    touch "$dir/used"
    rm -f "$dir/users/$$"
    if [ "$VINDREL_SESSION_IDLE" = 0 ]; then
        session_lock || return 0
        session_in_use || end_session_locked
        exec 9>&-
    fi
}

# Ends the session now, whoever uses it (bench/run_time.sh, for a clone's session).
end_session() {
    mkdir -p "$VINDREL_SESSION"
    session_lock || return 1
    end_session_locked
    exec 9>&-
}

# The session's own watch: ends it once it has been idle long enough, or when a part
# of it has gone; a newer session has a keeper of its own. It keeps the session's
# processes in memory, so that a removed build folder (or session folder) cannot
# orphan them: it then ends them by PID and start time.
session_keeper() {
    local dir=$VINDREL_SESSION me=$BASHPID now used here prefix=$VINDREL_BUILD/wineprefix
    local -a leaders=()
    here=$(stat -c %d:%i "$dir")
    [ ! -f "$dir/leaders" ] || mapfile -t leaders <"$dir/leaders"
    while sleep 2; do
        if ! session_lock 2>/dev/null && [ "$(stat -c %d:%i "$dir" 2>/dev/null)" = "$here" ]; then
            continue
        fi
        if [ "$(stat -c %d:%i "$dir" 2>/dev/null)" != "$here" ] || [ "$(session_pid keeper)" != "$me" ]; then
            end_sessions_of "${leaders[@]}"
            [ -d "$dir" ] || end_wine_of "$prefix"
            exit 0
        fi
        [ ! -f "$dir/leaders" ] || mapfile -t leaders <"$dir/leaders"
        printf -v now '%(%s)T' -1
        used=$(stat -c %Y "$dir/used" 2>/dev/null || echo 0)
        if ! session_alive || { ! session_in_use && [ $((now - used)) -ge "$VINDREL_SESSION_IDLE" ]; }; then
            end_session_locked
            exit 0
        fi
        exec 9>&-
    done
}

# Signals. Every entry script calls handle_signals first: on SIGINT, SIGTERM or SIGHUP
# the script ends everything it started (its descendants in its own process session;
# the private session's processes run in sessions of their own and stay), leaves the
# session, says once that it was interrupted and dies of the same signal. Scripts that
# one of these starts for it (VINDREL_NESTED=1 in their environment) say nothing: the
# one that started them speaks.
handle_signals() {
    VINDREL_QUIET=${VINDREL_NESTED:-}
    unset VINDREL_NESTED
    trap cleanup_all EXIT
    trap 'interrupted INT' INT
    trap 'interrupted TERM' TERM
    trap 'interrupted HUP' HUP
}

interrupted() {
    trap '' INT TERM HUP
    trap - ERR
    VINDREL_INTERRUPTED=$1
    exit $((128 + $(kill -l "$1")))
}

# waited COMMAND...: runs COMMAND and waits for it. Bash runs a trap only once the
# foreground command has ended, and says so when a signal ends one; a wait for a
# background one is cut short by the trap. A failure is named where waited was called.
waited() {
    "$@" &
    wait $! || return
}

# end_children: ends this script's descendants in its own process session (the private
# session's processes have sessions of their own): TERM, then KILL what is left after
# VINDREL_STOP_GRACE seconds (default 3; a Wine process can sit on a TERM). A nested
# script that traps TERM is left to end its own children (a foreground child killed
# under it would make bash say so), and gets 7 s more for it. A script that leads its
# process group (a command started from a terminal) ends the rest of the group too.
end_children() {
    local -A kids=()
    local line f sid pid kid under cgt grace=${VINDREL_STOP_GRACE:-3}
    local -a all=() hit=() queue=() left=()
    # Jobs this shell no longer follows die without a word from it.
    disown -a 2>/dev/null || true
    read -r line <"/proc/$$/stat"
    # shellcheck disable=SC2086
    set -- ${line##*) }
    sid=$4
    for f in /proc/[0-9]*/stat; do
        read -r line 2>/dev/null <"$f" || continue
        # shellcheck disable=SC2086
        set -- ${line##*) }
        [ "$4" = "$sid" ] && [ "$1" != Z ] && kids[$2]+=" ${f//[^0-9]/}"
    done
    queue=("$$ 0")
    while [ ${#queue[@]} -gt 0 ]; do
        pid=${queue[0]% *} under=${queue[0]#* }
        queue=("${queue[@]:1}")
        for kid in ${kids[$pid]:-}; do
            [ "$kid" != "$BASHPID" ] || continue
            all+=("$kid")
            if [ "$under" = 1 ]; then
                queue+=("$kid 1")
                continue
            fi
            hit+=("$kid")
            cgt=0 line=""
            read -r line 2>/dev/null <"/proc/$kid/comm" || true
            [ "$line" != bash ] || cgt=$(sed -n 's/^SigCgt:\s*/0x/p' "/proc/$kid/status" 2>/dev/null || echo 0)
            if (((${cgt:-0} & 0x4000) != 0)); then
                queue+=("$kid 1")
                grace=$((${VINDREL_STOP_GRACE:-3} + 7))
            else
                queue+=("$kid 0")
            fi
        done
    done
    if [ ${#all[@]} -gt 0 ]; then
        kill -TERM "${hit[@]}" 2>/dev/null || true
        # A stopped process acts on TERM only once it runs again.
        kill -CONT "${hit[@]}" 2>/dev/null || true
        local until=$((${EPOCHREALTIME/[.,]/} + grace * 1000000))
        while [ "${EPOCHREALTIME/[.,]/}" -lt "$until" ]; do
            left=()
            for pid in "${all[@]}"; do
                read -r line 2>/dev/null <"/proc/$pid/stat" || continue
                # shellcheck disable=SC2086
                set -- ${line##*) }
                [ "$1" = Z ] || left+=("$pid")
            done
            [ ${#left[@]} -gt 0 ] || break
            sleep 0.05
        done
        if [ ${#left[@]} -gt 0 ]; then
            kill -KILL "${left[@]}" 2>/dev/null || true
            # A nested run killed before it could leave the session leaves it now.
            for pid in "${left[@]}"; do rm -f "$VINDREL_SESSION/users/$pid"; done
        fi
    fi
    # What a killed nested script started after it was asked to stop has lost its
    # parent, not its process group. A process can fork just before KILL reaches it,
    # so look again until the group is empty.
    read -r line <"/proc/$$/stat"
    # shellcheck disable=SC2086
    set -- ${line##*) }
    [ "$3" = $$ ] || return 0
    local -i passes=0
    while ((passes++ < 10)); do
        left=()
        for f in /proc/[0-9]*/stat; do
            read -r line 2>/dev/null <"$f" || continue
            # shellcheck disable=SC2086
            set -- ${line##*) }
            pid=${f//[^0-9]/}
            [ "$1" != Z ] && [ "$3" = $$ ] && [ "$pid" != $$ ] && [ "$pid" != "$BASHPID" ] && left+=("$pid")
        done
        [ ${#left[@]} -gt 0 ] || return 0
        kill -KILL "${left[@]}" 2>/dev/null || true
        sleep 0.05
    done
}

# take_turn: runs that share a build folder take turns. Waits, at most
# VINDREL_TURN_WAIT seconds, until no other run uses it, then holds it until this
# script ends. A run started by one that holds the turn (a test of run.sh) takes turns
# only with the others that one started.
take_turn() {
    local file=$VINDREL_SESSION/turn ready=$VINDREL_SESSION/turn.$$.ready how=-n holder who status
    case ${VINDREL_TURN:-} in "$VINDREL_SESSION"/turn.*) file=$VINDREL_TURN ;; esac
    mkdir -p "$VINDREL_SESSION"
    while :; do
        rm -f "$ready"
        # The lock is held by a helper that ends with this script, so that nothing the
        # run starts, however long it lives, holds the build folder.
        flock -x $how -E 75 -o "$file" sh -c 'echo "$1" >"$2.who" && : >"$3" && exec tail --pid="${1%% *}" -f /dev/null' \
            _ "$$ ${0##*/}" "$file" "$ready" </dev/null >/dev/null 2>&1 9>&- &
        holder=$!
        VINDREL_TURN_HOLDER=$holder
        while [ ! -e "$ready" ] && proc_start "$holder" >/dev/null; do waited sleep 0.1; done
        [ ! -e "$ready" ] || break
        status=0
        wait "$holder" || status=$?
        # Where files do not lock (the test machine's shared folders), runs cannot take turns.
        [ "$status" = 75 ] || break
        who=$(cat "$file.who" 2>/dev/null || true)
        if [ "$how" != -n ]; then
            mark_failed
            log "waited $VINDREL_TURN_WAIT s for the other run of $VINDREL_BUILD (${who:-unknown}) to end; giving up"
            exit 1
        fi
        log "another run uses $VINDREL_BUILD (PID ${who:-unknown}); waiting for it to end, at most $VINDREL_TURN_WAIT s"
        how="-w $VINDREL_TURN_WAIT"
    done
    rm -f "$ready"
    export VINDREL_TURN=$VINDREL_SESSION/turn.$$
}

# end_turn: lets the next run have the build folder before this one ends.
end_turn() {
    [ -z "${VINDREL_TURN_HOLDER:-}" ] || kill "$VINDREL_TURN_HOLDER" 2>/dev/null || true
}

# at_exit FUNCTION: cleanup_all calls FUNCTION once the run's processes are ended.
VINDREL_AT_EXIT=()
at_exit() { VINDREL_AT_EXIT+=("$1"); }

cleanup_all() {
    local status=$? hook sig=${VINDREL_INTERRUPTED:-}
    trap - ERR
    trap '' INT TERM HUP
    [ "$status" -eq 0 ] || [ -n "$sig" ] || failed_already || fail "stopped with status $status"
    end_children
    # A session this run was starting when it was stopped goes with it.
    [ -z "${VINDREL_STARTING:-}" ] || end_session_locked
    leave_session
    rm -f "$VINDREL_SESSION/turn.$$" "$VINDREL_SESSION/turn.$$.who" "$VINDREL_SESSION/turn.$$.ready"
    for hook in "${VINDREL_AT_EXIT[@]}"; do "$hook" || true; done
    [ -n "$sig" ] || return "$status"
    [ -n "${VINDREL_QUIET:-}" ] || log "interrupted (SIG$sig); what this run started has ended"
    # Dies of the signal, so that a calling shell sees it (a loop stops at a Ctrl-C).
    trap - EXIT "$sig"
    kill -"$sig" $$
    exit "$status"
}
