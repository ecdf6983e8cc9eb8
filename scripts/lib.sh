# Shared set-up of the entry scripts: packages, the build, logs and usage. The private
# session, turns and stops are scripts/session.py's.

VINDREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VINDREL_BUILD=${VINDREL_BUILD:-$VINDREL_ROOT/build}
source "$VINDREL_ROOT/scripts/wine-env.sh"
# Wine's, ALSA's, Xvfb's, apt's and the build's output; each entry script names its own.
export VINDREL_LOG=${VINDREL_LOG:-$VINDREL_BUILD/logs/vindrel.log}

# What building and running need; the test suite adds its own.
VINDREL_PACKAGES=(g++-mingw-w64-i686-posix cmake ninja-build nlohmann-json3-dev wine wine32:i386 wine64
    libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386 xvfb xauth xdotool python3 fonts-wine)
# chromium and pci.ids: the survey page's browser test and its device names; fonts-wine:
# the Marlett font Wine draws the caption buttons with.
VINDREL_TEST_PACKAGES=(googletest clang libclang-rt-14-dev python3-pefile chromium pci.ids)
# For kernels that refuse 32-bit programs: a small virtual machine runs them instead.
VINDREL_VM_PACKAGES=(qemu-system-x86 linux-image-amd64 busybox-static cpio kmod)

log() { printf '[vindrel] %s\n' "$*" >&2; }

# A failure is reported once, by whichever shell meets it first: they share this mark.
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
# Nothing stops a script silently: a failing command that ends it is named with its place.
on_error() { [ -e "$VINDREL_FAIL_MARK" ] || fail "\"$2\" failed (status $1, ${3#"$VINDREL_ROOT/"} line $4)"; }
if [[ $- == *e* ]]; then
    set -E
    shopt -s inherit_errexit
    trap 'on_error $? "$BASH_COMMAND" "${BASH_SOURCE[0]:-$0}" "$LINENO"' ERR
fi

# usage_error WHY: says why and how to call it (VINDREL_USAGE), and stops with status 2.
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

# check_ctest_arguments ARG...: only ctest's options that choose, show or repeat tests.
check_ctest_arguments() {
    local arg value= valued=" -R --tests-regex -E --exclude-regex -L --label-regex -LE --label-exclude -I
        --tests-information -FA --fixture-exclude-any -FS --fixture-exclude-setup -FC --fixture-exclude-cleanup -j
        --parallel -O --output-log --output-junit --timeout --repeat --test-output-size-passed --test-output-size-failed"
    local plain=" -U --union -N --show-only -V --verbose -VV --extra-verbose -Q --quiet --output-on-failure
        --stop-on-failure --rerun-failed --schedule-random --print-labels --no-label-summary --progress"
    valued=" $(echo $valued) " plain=" $(echo $plain) "
    for arg in "$@"; do
        if [ -n "$value" ]; then value=
        elif [[ $valued == *" $arg "* ]]; then value=$arg
        elif [[ $plain != *" $arg "* && $arg != -j[0-9]* && ! ($arg == --*=* && $valued == *" ${arg%%=*} "*) ]]; then
            case $arg in
            -h | --help) check_usage "$arg" ;;
            -*) usage_error "unknown option: $arg (not one of ctest's that choose, show or repeat tests)" ;;
            *) usage_error "unexpected argument: $arg (a test name goes after -R)" ;;
            esac
        fi
    done
    [ -z "$value" ] || usage_error "$value needs a value"
}

# logged COMMAND...: runs COMMAND with its output in the log.
logged() {
    mkdir -p "$(dirname "$VINDREL_LOG")"
    "$@" </dev/null >>"$VINDREL_LOG" 2>&1
}

# quietly WHAT COMMAND...: logged, and a failure is said.
quietly() {
    local status=0
    logged "${@:2}" || status=$?
    [ "$status" -eq 0 ] || fail "$1 failed (status $status)"
    return "$status"
}

# missing_packages PACKAGE...: those of them that are not installed, one a line.
missing_packages() {
    local have p native
    native=$(dpkg --print-architecture)
    # dpkg-query exits 1 when any is not installed; NAME:ARCH where several architectures are.
    have=$(dpkg-query -W -f='${binary:Package} ${db:Status-Abbrev}\n' "$@" 2>/dev/null |
        awk '$2 == "ii" { print $1 }' | sed -n "p; s/:$native\$//p" || true)
    for p in "$@"; do grep -qxF "$p" <<<"$have" || echo "$p"; done
}

install_packages() {
    local missing sudo=() apt=(apt-get -o Acquire::Retries=3) arch=(dpkg --add-architecture i386)
    missing=$(missing_packages "$@")
    missing=${missing//$'\n'/ }
    [ -n "$missing" ] || return 0
    [[ " $missing" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386 || arch=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null; then
            mark_failed
            log "missing packages: $missing; this user is not root and there is no sudo;" \
                "as root, run: ${arch[*]}${arch:+ && }apt-get update && apt-get install --no-install-recommends $missing"
            return 1
        fi
        sudo=(sudo)
    fi
    log "installing $missing"
    [ ${#arch[@]} -eq 0 ] || quietly "adding the i386 architecture" "${sudo[@]}" "${arch[@]}" || return
    # A mirror caught mid-sync answers a wrong size now and then: apt tries again, and a
    # list it still cannot fetch need not stop the install.
    logged "${sudo[@]}" "${apt[@]}" update ||
        log "apt-get update failed for some package lists (see $VINDREL_LOG); installing with those apt has"
    # shellcheck disable=SC2086
    quietly "installing $missing" "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        "${apt[@]}" install -y --no-install-recommends $missing
}

# ensure_packages [EXTRA...]: what running needs, and the test machine's where it is needed.
ensure_packages() { install_packages "${VINDREL_PACKAGES[@]}" "$@" $(wine_here || echo "${VINDREL_VM_PACKAGES[@]}"); }

# Debian's own python3, not a version manager's shim first on PATH: that costs a fifth of
# a second at every start, and a run starts several.
VINDREL_PYTHON=/usr/bin/python3
session() { "$VINDREL_PYTHON" "$VINDREL_ROOT/scripts/session.py" "$@"; }
# True where Windows programs run here: this kernel runs 32-bit programs (some are booted
# with ia32_emulation=off), and VINDREL_VM=1 does not ask for the test machine anyway.
wine_here() { session native; }
# in_session COMMAND...: runs COMMAND in the private session, here or in the test machine.
in_session() { session run "$@"; }

# take_turn "$@": runs this script again under session.py's guard, which waits at most
# VINDREL_TURN_WAIT s for the other runs of this build folder, holds the folder until
# the script ends, and on SIGINT, SIGTERM or SIGHUP ends all it started, says so once
# and dies of the signal. Lines before it run twice.
take_turn() {
    [ "${VINDREL_GUARD:-}" != "$PPID" ] || return 0
    # The guard is Python, which a bare machine does not have yet.
    if [ ! -x "$VINDREL_PYTHON" ]; then
        mkdir -p "${VINDREL_LOG%/*}"
        install_packages python3
    fi
    exec "$VINDREL_PYTHON" "$VINDREL_ROOT/scripts/session.py" guard --turn bash "$0" "$@"
}
# end_turn: lets the next run have the build folder before this one ends.
end_turn() { kill -USR1 "$VINDREL_GUARD"; }
# at_exit COMMAND: runs COMMAND when the script ends, also when it is stopped.
at_exit() {
    local sig
    trap "$1" EXIT
    for sig in INT TERM HUP; do trap "trap - EXIT $sig; $1; kill -$sig \$\$" "$sig"; done
}

# show_dialog: starts vindrel.exe here ($program) and waits at most VINDREL_SHOW_TIMEOUT s
# for its dialog ($window, told by the PID Wine records on its X window).
show_dialog() {
    local start=$SECONDS status=0
    wine "$VINDREL_BUILD/app/vindrel.exe" </dev/null >>"$VINDREL_LOG" 2>&1 &
    program=$!
    until window=$(xdotool search --all --onlyvisible --pid "$program" --name '^Vindrel$' 2>/dev/null | head -n 1) &&
        [ -n "$window" ]; do
        if ! kill -0 "$program" 2>/dev/null; then
            wait "$program" || status=$?
            fail "vindrel.exe exited with $status before its dialog was shown"
            exit 1
        fi
        [ $((SECONDS - start)) -lt "${VINDREL_SHOW_TIMEOUT:-600}" ] ||
            give_up "the dialog was not shown within ${VINDREL_SHOW_TIMEOUT:-600} s"
        sleep 0.1
    done
}
# give_up WHAT: WHAT took too long; the run's process group ends the program with it.
give_up() {
    echo "$1" >>"$VINDREL_LOG"
    fail "$1; ending vindrel.exe"
    exit 1
}

# configure_and_build [TARGET...]: configures build/ once and builds the targets, or
# everything, the tests (which need GoogleTest) included.
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
