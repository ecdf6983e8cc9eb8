#!/usr/bin/env bash
# Runs a command in the test machine (session.sh), in this folder and environment; its
# output is printed, its status returned, and a signal here ends it there.
# Usage: vm-run.sh COMMAND [ARGS...]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
handle_signals
use_session
job=$(mktemp -d "$VINDREL_SESSION/jobs/job.XXXXXX")
end_job() {
    [ -f "$job/status" ] || : >"$job/cancel" 2>/dev/null || true
    [ -e "$job/cancel" ] || rm -rf "$job"
}
at_exit end_job
printf '%s' "$PWD" >"$job/cwd"
: >"$job/output"
: >"$job/errors"
{
    echo "cd ${PWD@Q}"
    export -p | grep -v -E '^declare -x (BASH|SHELL|SHLVL|OLDPWD|PWD|_|TERM|DISPLAY|VINDREL_VM|VINDREL_SESSION_IDLE)='
    # The machine's own Python, not a version manager's shims read over 9p.
    echo 'export PATH=/usr/bin:$PATH'
    # Emulated, everything takes many times longer, a stopped run's clean-up too.
    echo "export VINDREL_SHOW_TIMEOUT=${VINDREL_SHOW_TIMEOUT:-1800} VINDREL_EXIT_TIMEOUT=${VINDREL_EXIT_TIMEOUT:-300}" \
        "VINDREL_STOP_GRACE=${VINDREL_STOP_GRACE:-10}"
    echo "${*@Q}"
} >"$job/script.new"
mv "$job/script.new" "$job/script"
# The output as it is written; tail ends once the wait below has.
(n=0; while [ ! -f "$job/status" ]; do
    ((++n % 20)) || session_alive || exit 1
    sleep 0.1
done) &
waiter=$!
tail -s 0.1 -n +1 -f --pid="$waiter" "$job/output" &
tailers=$!
tail -s 0.1 -n +1 -f --pid="$waiter" "$job/errors" >&2 &
tailers="$tailers $!"
wait "$waiter" || { wait $tailers; fail "the test machine stopped during the command"; exit 70; }
wait $tailers
# The job's status is its own, and its output has said why.
VINDREL_FAIL_MARK=/dev/null
exit "$(cat "$job/status")"
