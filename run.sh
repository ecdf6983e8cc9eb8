#!/usr/bin/env bash
# Installs what is missing, builds, and runs vindrel.exe under Wine in the caller's
# directory, where it writes stats.txt. With a usable DISPLAY the dialog is shown
# until the user closes it; without one a private virtual display is used and the
# dialog is closed with Escape once it is filled and shown.
set -euo pipefail
here=$(pwd)
source "$(dirname "$0")/scripts/lib.sh"

ensure_packages
ensure_i386_exec
configure_and_build
ensure_prefix

trap cleanup_all EXIT
exe=$VINDREL_BUILD/app/vindrel.exe
wintool=$VINDREL_BUILD/tests/tools/wintool.exe

if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
    cd "$here"
    wine "$exe"
    exit 0
fi

start_xvfb
start_wineserver
cd "$here"
wine "$exe" &
program=$!
VINDREL_PIDS+=("$program")
if wine "$wintool" wait-shown 600000 >/dev/null; then
    "$VINDREL_ROOT/scripts/press-key.sh" Escape
fi
wait "$program" || true
log "report written to $here/stats.txt"
