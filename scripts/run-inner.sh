#!/usr/bin/env bash
# Runs vindrel.exe once on the private display (DISPLAY, from session.py run), here, and
# closes its dialog (told by the PID Wine records on its X window) with Escape once
# shown; every wait has a limit, and what is left ends with this run's process group.
set -euo pipefail
here=$(pwd)
source "$(dirname "$0")/lib.sh"
show_limit=${VINDREL_SHOW_TIMEOUT:-600}
exit_limit=${VINDREL_EXIT_TIMEOUT:-60}

wine "$VINDREL_BUILD/app/vindrel.exe" </dev/null >>"$VINDREL_LOG" 2>&1 &
program=$!
give_up() {  # WHAT took too long: fails; the group's end takes the program with it
    echo "$1" >>"$VINDREL_LOG"
    fail "$1; ending vindrel.exe"
    exit 1
}
start=$SECONDS
until window=$(xdotool search --all --onlyvisible --pid "$program" --name '^Vindrel$' 2>/dev/null | head -n 1) &&
    [ -n "$window" ]; do
    if ! kill -0 "$program" 2>/dev/null; then
        status=0
        wait "$program" || status=$?
        fail "vindrel.exe exited with $status before its dialog was shown"
        exit 1
    fi
    [ $((SECONDS - start)) -lt "$show_limit" ] || give_up "the dialog was not shown within $show_limit s"
    sleep 0.1
done
"$VINDREL_ROOT/scripts/press-key.sh" --window "$window" Escape >>"$VINDREL_LOG" 2>&1 || true
start=$SECONDS
while kill -0 "$program" 2>/dev/null; do
    [ $((SECONDS - start)) -lt "$exit_limit" ] || give_up "vindrel.exe did not exit within $exit_limit s of Escape"
    sleep 0.05
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
