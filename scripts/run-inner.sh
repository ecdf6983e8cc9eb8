#!/usr/bin/env bash
# Runs vindrel.exe once on the private display (DISPLAY, from session.py run), here, and
# closes its dialog with Escape once shown; every wait has a limit, and what is left
# ends with this run's process group.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
exit_limit=${VINDREL_EXIT_TIMEOUT:-60}
show_dialog
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
if [ ! -f stats.txt ]; then
    fail "vindrel.exe wrote no $PWD/stats.txt"
    exit 1
fi
log "vindrel.exe exited with 0; the report is $PWD/stats.txt"
