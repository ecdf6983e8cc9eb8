#!/usr/bin/env bash
# Runs a command in the test machine, where this kernel refuses 32-bit programs: a
# small virtual machine that boots Debian's kernel on this machine's own files (9p)
# and is kept between commands as the private session is (lib.sh). The command runs
# in the current directory with the current environment; its output is printed and
# its status returned. A signal here ends it there.  Usage: vm-run.sh COMMAND [ARGS...]
set -euo pipefail
here=$(pwd)
source "$(dirname "$0")/lib.sh"
handle_signals
use_session
job=$(mktemp -d "$VINDREL_SESSION/jobs/job.XXXXXX")
end_job() {
    [ -f "$job/status" ] || echo "${VINDREL_INTERRUPTED:-TERM}" >"$job/cancel" 2>/dev/null || true
    [ -e "$job/cancel" ] || rm -rf "$job"
}
at_exit end_job
printf '%s' "$here" >"$job/cwd"
{
    echo "cd $(printf '%q' "$here")"
    export -p | grep -v -E '^declare -x (BASH|SHELL|SHLVL|OLDPWD|PWD|_|TERM|DISPLAY|VINDREL_VM|VINDREL_SESSION_IDLE)='
    # The machine's own Python, not a version manager's shims read over 9p.
    echo 'export PATH=/usr/bin:$PATH'
    # Emulated, everything takes many times longer, a stopped run's clean-up too.
    echo "export VINDREL_SHOW_TIMEOUT=${VINDREL_SHOW_TIMEOUT:-1800} VINDREL_EXIT_TIMEOUT=${VINDREL_EXIT_TIMEOUT:-300}"
    echo "export VINDREL_STOP_GRACE=${VINDREL_STOP_GRACE:-10}"
    printf '%q ' "$@"
    echo
} >"$job/script.new"
mv "$job/script.new" "$job/script"
# The output as it is written; tail ends once the wait below has.
(while [ ! -f "$job/status" ]; do
    session_alive || exit 1
    sleep 0.05
done) &
waiter=$!
tail -s 0.1 -n +1 -F --pid="$waiter" "$job/output" 2>/dev/null &
tailer=$!
wait "$waiter" || { wait "$tailer" || true; fail "the test machine stopped during the command"; exit 70; }
wait "$tailer" || true
exit "$(cat "$job/status")"
