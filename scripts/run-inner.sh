#!/usr/bin/env bash
# Runs vindrel.exe once on a private virtual display in the current directory,
# waits until the dialog is filled and shown, and closes it with Escape.
set -euo pipefail
here=$(pwd)
source "$(dirname "$0")/lib.sh"

ensure_prefix
trap cleanup_all EXIT
start_xvfb
start_wineserver
cd "$here"
wine "$VINDREL_BUILD/app/vindrel.exe" &
program=$!
VINDREL_PIDS+=("$program")
if wine "$VINDREL_BUILD/tests/tools/wintool.exe" wait-shown 600000 >/dev/null; then
    "$VINDREL_ROOT/scripts/press-key.sh" Escape
fi
status=0
wait "$program" || status=$?
log "vindrel.exe exited with $status; the report is $here/stats.txt"
