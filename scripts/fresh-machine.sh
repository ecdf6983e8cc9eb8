#!/usr/bin/env bash
# The maintainers' proof that the README's two commands set up a bare machine (see the
# usage); downloads several hundred MB, so it is not part of ./test.sh.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
VINDREL_USAGE="usage: scripts/fresh-machine.sh [--no-vm] [COMMIT]
Makes a bare Debian 12 (mmdebstrap, minbase) in a temporary folder, clones COMMIT
(default HEAD) into it and runs, as root in a chroot: 'DISPLAY= ./run.sh' from an empty
folder, './test.sh', and one headless run through the virtual machine
('DISPLAY= VINDREL_VM=1 ./run.sh'; --no-vm leaves it out). Prints each command's exit
status and time and the report's section lines; exits non-zero unless all pass.
Needs root. The log is build/logs/fresh-machine.log."
vm=1
commit=HEAD
for arg in "$@"; do
    case $arg in
    --no-vm) vm= ;;
    -*) check_usage "$arg" ;;
    *) commit=$arg ;;
    esac
done
[ "$#" -le 2 ] || usage_error "too many arguments"
[ "$(id -u)" -eq 0 ] || usage_error "it makes a chroot and mounts in it: run it as root"
rev=$(git -C "$VINDREL_ROOT" rev-parse --verify -q "$commit^{commit}") || usage_error "no such commit: $commit"

start_log fresh-machine
install_packages mmdebstrap git
work=$(mktemp -d "${TMPDIR:-/var/tmp}/vindrel-fresh.XXXXXX")
top=$work/root

# Whatever happens, nothing of the machine stays: the processes that run in it (ours,
# found by their root), then the mounts, deepest first, then the folder.
remove_machine() {
    local pid mount
    for pid in /proc/[0-9]*; do
        [ "$(readlink "$pid/root" 2>/dev/null)" = "$top" ] && kill -9 "${pid#/proc/}" 2>/dev/null
    done
    findmnt -rn -o TARGET | grep -F "$top/" | sort -r | while read -r mount; do
        umount "$mount" 2>/dev/null || umount -l "$mount"
    done
    rm -rf --one-file-system "$work"
}
trap 'status=$?; remove_machine; exit $status' EXIT
trap 'log "interrupted; removing $work"; exit 130' INT TERM HUP

log "making a bare Debian 12 in $top (mmdebstrap, minbase)"
quietly "mmdebstrap" mmdebstrap --variant=minbase --include=ca-certificates,git bookworm "$top"
quietly "cloning $commit" git clone -q --no-checkout "$VINDREL_ROOT" "$top/root/vindrel"
quietly "checking out $rev" git -C "$top/root/vindrel" checkout -q "$rev"
cp /etc/resolv.conf "$top/etc/resolv.conf"
mount -t proc proc "$top/proc"
mount -t sysfs sys "$top/sys"
mount --bind /dev "$top/dev"
# Private, so that what is mounted below it stays out of this machine's /dev.
mount --make-rprivate "$top/dev"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$top/dev/pts"
mount -t tmpfs tmpfs "$top/dev/shm"

passed=1
# inside NAME FOLDER COMMAND: runs COMMAND as root in the machine, in FOLDER, with a
# new user's environment; prints its exit status and time.
inside() {
    local name=$1 folder=$2 start status=0
    start=$EPOCHREALTIME
    chroot "$top" env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LANG=C.UTF-8 TERM=dumb VINDREL_SESSION_IDLE=0 bash -c 'mkdir -p "$1" && cd "$1" && eval "$2"' _ \
        "$folder" "$3" </dev/null >"$work/$name.out" 2>&1 || status=$?
    printf '[vindrel] %-28s exit %d in %s s\n' "$3" "$status" \
        "$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')" >&2
    cat "$work/$name.out" >>"$VINDREL_LOG"
    if [ "$status" -ne 0 ]; then
        passed=
        tail -n 15 "$work/$name.out" | sed 's/^/    /' >&2
    fi
    return 0
}

# sections FOLDER: the report's size and section lines.
sections() {
    local report=$top$1/stats.txt
    if [ -s "$report" ]; then
        log "    $(wc -l <"$report") lines; sections: $(tr -d '\r' <"$report" |
            { grep -xE 'CPU|DirectX|OpenGL|Memory|Windows' || true; } | tr '\n' ' ')"
    else
        passed=
        log "    no report in $1/stats.txt"
    fi
}

inside run /root/report 'DISPLAY= /root/vindrel/run.sh'
sections /root/report
inside test /root/vindrel './test.sh'
grep -E 'tests passed|tests failed' "$work/test.out" | sed 's/^/[vindrel]     /' >&2 || true
if [ -n "$vm" ]; then
    inside vm /root/report-vm 'DISPLAY= VINDREL_VM=1 /root/vindrel/run.sh'
    sections /root/report-vm
fi
if [ -z "$passed" ]; then
    fail "the bare machine did not pass"
    exit 1
fi
log "a bare Debian 12 ran $(git -C "$VINDREL_ROOT" rev-parse --short "$rev"): every command passed"
