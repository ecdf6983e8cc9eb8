#!/usr/bin/env bash
# Runs vindrel.exe once in the private session in the current directory, waits until
# the dialog is filled and shown, and closes it with Escape.
set -euo pipefail
here=$(pwd)
source "$(dirname "$0")/lib.sh"

trap cleanup_all EXIT
use_session
cd "$here"
wine "$VINDREL_BUILD/app/vindrel.exe" </dev/null >>"$VINDREL_LOG" 2>&1 &
program=$!
VINDREL_PIDS+=("$program")
status=0
if wine "$VINDREL_BUILD/tests/tools/wintool.exe" wait-shown 600000 </dev/null >>"$VINDREL_LOG" 2>&1; then
    "$VINDREL_ROOT/scripts/press-key.sh" Escape >>"$VINDREL_LOG" 2>&1 || true
    wait "$program" || status=$?
else
    kill "$program" 2>/dev/null || true
    wait "$program" || true
    status=1
    echo "the dialog was not shown" >>"$VINDREL_LOG"
fi
VINDREL_PIDS=()
if [ "$status" -ne 0 ]; then
    fail "vindrel.exe exited with $status"
    exit 1
fi
if [ ! -f "$here/stats.txt" ]; then
    fail "vindrel.exe wrote no $here/stats.txt"
    exit 1
fi
log "vindrel.exe exited with 0; the report is $here/stats.txt"
