#!/bin/bash
# Second stage of the test machine: starts the private session and holds it, then runs
# the jobs vm-run.sh leaves in jobs/ until the host asks for a power-off.
arg() { sed -n "s/.*vindrel.$1=\([^ ]*\).*/\1/p" /proc/cmdline; }
hostname "$(cat /etc/hostname 2>/dev/null || echo vindrel)" 2>/dev/null
state=$(arg state)
export VINDREL_BUILD=$(arg build) VINDREL_GUEST=1 VINDREL_SESSION_IDLE=0
source "$(dirname "$0")/../lib.sh"
VINDREL_LOG=$VINDREL_BUILD/logs/session.log
if use_session >>"$VINDREL_LOG" 2>&1; then
    sync
    : >"$state/ready"
else
    : >"$state/failed"
fi
show_folder() {  # a host folder the boot did not bind (a test's folder in /tmp)
    local p=$1
    until [ -d "/host$p" ] || [ "$p" = / ]; do p=$(dirname "$p"); done
    case $p in / | /tmp | /usr | /usr/* | /etc | /etc/* | /var | /var/* | /work | /work/*) return 0 ;; esac
    mountpoint -q "$p" || { mkdir -p "$p" && mount --bind "/host$p" "$p"; }
}
declare -A running=()
while [ ! -e "$state/poweroff" ] && [ ! -e "$state/failed" ]; do
    for job in "$state"/jobs/*; do
        [ -f "$job/script" ] && [ ! -e "$job/taken" ] || continue
        : >"$job/taken"
        # What the host changed since (a rebuild, an edit) must not be read from the cache.
        echo 2 >/proc/sys/vm/drop_caches
        show_folder "$(cat "$job/cwd")"
        # Started with &, it would ignore SIGINT, and so would all it starts (a Ctrl-C test).
        setsid env --default-signal=INT,QUIT bash -c \
            'bash "$1/script" >>"$1/output" 2>>"$1/errors"; echo $? >"$1/status.new"; sync; mv "$1/status.new" "$1/status"' \
            _ "$job" </dev/null &
        running[$job]=$!
    done
    for job in "${!running[@]}"; do
        if ! kill -0 "${running[$job]}" 2>/dev/null; then
            wait "${running[$job]}"
            [ ! -e "$job/cancel" ] || rm -rf "$job"
            unset "running[$job]"
        elif [ -e "$job/cancel" ] && [ ! -e "$job/stopping" ]; then
            # Its scripts end what they started on TERM; what is left goes after 20 s.
            : >"$job/stopping"
            kill -TERM -- -"${running[$job]}"
            (sleep 20 && kill -KILL -- -"${running[$job]}") 2>/dev/null &
        fi
    done
    sleep 0.2
done
WINEPREFIX=$VINDREL_BUILD/wineprefix wineserver -k 2>/dev/null
sync
echo o >/proc/sysrq-trigger
sleep 60
