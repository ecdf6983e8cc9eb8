# The private session (sourced by lib.sh): Xvfb, the prefix's wineserver and Wine's
# desktop, or where this kernel refuses 32-bit programs the test machine that holds them.
# It ends VINDREL_SESSION_IDLE seconds after its last user left (0, and under CI: at once).
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
    read -r _ _ state _ 2>/dev/null <"/proc/$1/stat" && [ "$state" != Z ] && [[ $name == $2 ]]
}

# proc_start PID: a running process's start time, which tells it from a later one.
proc_start() {
    local line
    read -r line 2>/dev/null <"/proc/$1/stat" || return 1
    set -- ${line##*) }
    [ "$1" != Z ] && echo "${20}"
}

VINDREL_TURN_WAIT=${VINDREL_TURN_WAIT:-1800}

# Takes the session lock on descriptor 9, waiting at most VINDREL_TURN_WAIT seconds (the
# limit of every wait for another run of this build folder).
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

# True while a user of the session runs (a user file holds its start time); forgets the others.
session_in_use() {
    local user used=1
    for user in "$VINDREL_SESSION"/users/*; do
        [ -e "$user" ] || continue
        if [ "$(proc_start "${user##*/}" || true)" = "$(cat "$user" 2>/dev/null)" ]; then used=0; else rm -f "$user"; fi
    done
    return $used
}

# note_leader PID: records a process that leads a process session of the private one.
note_leader() {
    echo "$1 $(proc_start "$1" || echo gone)" >>"$VINDREL_SESSION/leaders"
}

# end_sessions_of "PID START"...: ends every process in those leaders' sessions (TERM,
# then KILL after 2 s), unless a leader's PID now belongs to another process.
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
            set -- ${line##*) }
            [ "$1" != Z ] && [ -n "${sids[$4]:-}" ] && found+=("${f//[^0-9]/}")
        done
        [ ${#found[@]} -gt 0 ] || return 0
        if [ "$i" = 1 ]; then kill -TERM "${found[@]}" 2>/dev/null || true
        elif [ "$i" = 21 ]; then kill -KILL "${found[@]}" 2>/dev/null || true
        else sleep 0.1; fi
    done
}

# end_wine_of PREFIX: ends Wine's processes whose environment names PREFIX (gone).
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

# Starts the session's processes, each in a process session of its own, in build/session.
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
    # The desktop can take longer to come up than a program waits: have it, and keep it.
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

machine_initrd() {  # the test machine's first stage: busybox, its init, the 9p modules
    local kernel version initrd root m name
    kernel=$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -n 1)
    [ -n "$kernel" ] || { fail "no kernel in /boot for the test machine (install linux-image-amd64)"; return 1; }
    version=${kernel#/boot/vmlinuz-} initrd=$VINDREL_BUILD/vm/initrd-$version.cpio.gz
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

# Boots the test machine; vm/guest-runner.sh starts the session there and runs the jobs.
start_machine() {
    local dir=$VINDREL_SESSION log=$VINDREL_BUILD/logs/machine.log boot
    install_packages "${VINDREL_VM_PACKAGES[@]}" || return
    boot=$(machine_initrd) || return
    mkdir -p "$dir/jobs" "$VINDREL_BUILD/logs"
    log "starting the test machine (this kernel does not run 32-bit programs, or VINDREL_VM=1)"
    local start=$SECONDS
    (cd "$dir" && exec setsid qemu-system-x86_64 -machine q35 -cpu max,-smap \
        -smp "${VINDREL_VM_CPUS:-$(nproc)}" -m "${VINDREL_VM_MEMORY:-4096}" -kernel ${boot% *} -initrd ${boot#* } \
        -append "console=ttyS0 quiet panic=-1 vindrel.runner=$VINDREL_ROOT/scripts/vm/guest-runner.sh vindrel.state=$dir vindrel.build=$VINDREL_BUILD vindrel.binds=$VINDREL_ROOT:$VINDREL_BUILD" \
        -virtfs local,path=/,mount_tag=hostroot,security_model=passthrough,id=hostroot \
        -virtfs local,path=/,mount_tag=hostlive,security_model=passthrough,id=hostlive \
        -nographic -no-reboot -nic none -serial "file:$dir/console" -monitor none </dev/null >/dev/null 2>>"$log" 9>&-) &
    echo $! >"$dir/qemu.pid"
    note_leader $!
    until [ -f "$dir/ready" ]; do
        if [ -f "$dir/failed" ] || ! alive "$(session_pid qemu)" '*'; then
            VINDREL_LOG=$log fail "the test machine did not start its session (its console: $dir/console)"
            return 1
        fi
        waited sleep 0.2
    done
    log "the test machine and its session are up after $((SECONDS - start)) s"
}

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
    [ ! -f "$dir/leaders" ] || mapfile -t leaders <"$dir/leaders"
    end_sessions_of "${leaders[@]}"
    rm -rf "$dir/display" "$dir/xvfb.pid" "$dir/server.pid" "$dir/keeper.pid" "$dir/leaders" "$dir"/users/* \
        "$dir/qemu.pid" "$dir/ready" "$dir/failed" "$dir/poweroff" "$dir/jobs"
}

# use_session: joins the private session, starting one when none is up; cleanup_all leaves.
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

# Ends the session now, whoever uses it.
end_session() { mkdir -p "$VINDREL_SESSION" && session_lock && end_session_locked && exec 9>&-; }

# The session's watch: ends it when idle, when a part has gone, or (by the leaders it
# keeps in memory) when its folder has gone.
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

