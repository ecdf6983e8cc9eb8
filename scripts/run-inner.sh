#!/usr/bin/env bash
# Runs vindrel.exe once in the private session, here, and closes its dialog (told by the
# PID Wine records on its X window) with Escape once shown; every wait has a limit.
set -euo pipefail
here=$(pwd)
source "$(dirname "$0")/lib.sh"
handle_signals
show_limit=${VINDREL_SHOW_TIMEOUT:-600}
exit_limit=${VINDREL_EXIT_TIMEOUT:-60}

use_session
cd "$here"
wine "$VINDREL_BUILD/app/vindrel.exe" </dev/null >>"$VINDREL_LOG" 2>&1 &
program=$!

give_up() {  # WHAT took too long: fails, and cleanup_all ends the program
    echo "$1" >>"$VINDREL_LOG"
    fail "$1; ending vindrel.exe"
    exit 1
}

printf -v start '%(%s)T' -1
window=""
while [ -z "$window" ]; do
    window=$(xdotool search --all --onlyvisible --pid "$program" --name '^Vindrel$' 2>/dev/null | head -n 1 || true)
    [ -z "$window" ] || break
    if ! alive "$program" '*'; then
        status=0
        wait "$program" || status=$?
        fail "vindrel.exe exited with $status before its dialog was shown"
        exit 1
    fi
    printf -v now '%(%s)T' -1
    [ $((now - start)) -lt "$show_limit" ] || give_up "the dialog was not shown within $show_limit s"
    waited sleep 0.1
done
waited "$VINDREL_ROOT/scripts/press-key.sh" --window "$window" Escape >>"$VINDREL_LOG" 2>&1 || true
printf -v start '%(%s)T' -1
while alive "$program" '*'; do
    printf -v now '%(%s)T' -1
    [ $((now - start)) -lt "$exit_limit" ] || give_up "vindrel.exe did not exit within $exit_limit s of Escape"
    waited sleep 0.05
done
status=0
wait "$program" || status=$?
if [ "$status" -ne 0 ]; then
    fail "vindrel.exe exited with $status"
    exit 1
fi
if [ ! -f "$here/stats.txt" ]; then
    fail "vindrel.exe wrote no $here/stats.txt"
    exit 1
fi
log "vindrel.exe exited with 0; the report is $here/stats.txt"
