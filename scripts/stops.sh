# Stops and turns, sourced by lib.sh. Every entry script calls handle_signals first: on
# SIGINT, SIGTERM or SIGHUP it ends everything it started (its descendants in its own
# process session; the private session's have sessions of their own and stay), leaves
# the session, says once that it was interrupted and dies of the same signal. Nested
# scripts (VINDREL_NESTED=1) say nothing: the one that started them speaks.
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

# waited COMMAND...: runs COMMAND and waits for it. Bash runs a trap only once a
# foreground command has ended; a wait for a background one is cut short by the trap.
waited() {
    "$@" &
    wait $! || return
}

# end_children: TERM to this script's descendants in its process session, KILL after
# VINDREL_STOP_GRACE s (3; a Wine process can sit on a TERM); a nested script that traps
# TERM ends its own, in 7 s more. A process group's leader ends the whole group.
end_children() {
    local -A kids=()
    local line f sid pid kid under cgt grace=${VINDREL_STOP_GRACE:-3}
    local -a all=() hit=() queue=() left=()
    # Jobs this shell no longer follows die without a word from it.
    disown -a 2>/dev/null || true
    read -r line <"/proc/$$/stat"
    set -- ${line##*) }
    sid=$4
    for f in /proc/[0-9]*/stat; do
        read -r line 2>/dev/null <"$f" || continue
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
    # What a killed nested script started has lost its parent, not its process group;
    # a process can fork just before KILL reaches it, so look until the group is empty.
    read -r line <"/proc/$$/stat"
    set -- ${line##*) }
    [ "$3" = $$ ] || return 0
    local -i passes=0
    while ((passes++ < 10)); do
        left=()
        for f in /proc/[0-9]*/stat; do
            read -r line 2>/dev/null <"$f" || continue
                    set -- ${line##*) }
            pid=${f//[^0-9]/}
            [ "$1" != Z ] && [ "$3" = $$ ] && [ "$pid" != $$ ] && [ "$pid" != "$BASHPID" ] && left+=("$pid")
        done
        [ ${#left[@]} -gt 0 ] || return 0
        kill -KILL "${left[@]}" 2>/dev/null || true
        sleep 0.05
    done
}

# take_turn: waits at most VINDREL_TURN_WAIT s for the other runs of this build folder,
# then holds it until this script ends; a run's own runs (tests of run.sh) take turns.
take_turn() {
    local dir=$VINDREL_BUILD/session how=-n holder who status
    local file=$dir/turn ready=$dir/turn.$$.ready
    case ${VINDREL_TURN:-} in "$dir"/turn.*) file=$VINDREL_TURN ;; esac
    mkdir -p "$dir"
    while :; do
        rm -f "$ready"
        # A helper that ends with this script holds the lock, not what the run starts.
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
    export VINDREL_TURN=$dir/turn.$$
}

# end_turn: lets the next run have the build folder before this one ends.
end_turn() { [ -z "${VINDREL_TURN_HOLDER:-}" ] || kill "$VINDREL_TURN_HOLDER" 2>/dev/null || true; }

# at_exit FUNCTION: cleanup_all calls FUNCTION once the run's processes are ended.
VINDREL_AT_EXIT=()
at_exit() { VINDREL_AT_EXIT+=("$1"); }

cleanup_all() {
    local status=$? hook sig=${VINDREL_INTERRUPTED:-}
    set +e
    trap - ERR
    trap '' INT TERM HUP
    [ "$status" -eq 0 ] || [ -n "$sig" ] || failed_already || fail "stopped with status $status"
    end_children
    # A session this run was starting when it was stopped goes with it.
    [ -z "${VINDREL_STARTING:-}" ] || end_session_locked
    leave_session
    rm -f "$VINDREL_BUILD/session/turn.$$"{,.who,.ready}
    for hook in "${VINDREL_AT_EXIT[@]}"; do "$hook" || true; done
    [ -n "$sig" ] || return "$status"
    [ -n "${VINDREL_QUIET:-}" ] || log "interrupted (SIG$sig); what this run started has ended"
    # Dies of the signal, so that a calling shell sees it (a loop stops at a Ctrl-C).
    trap - EXIT "$sig"
    kill -"$sig" $$
    exit "$status"
}
