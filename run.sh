#!/usr/bin/env bash
# Installs what is missing, builds vindrel.exe, and runs it under Wine in the caller's
# folder. With a usable DISPLAY the dialog stays until the user closes it; without one
# the private session is used and the dialog closed once shown. Logs: build/logs/run.log.
set -euo pipefail
here=$(pwd)
source "$(dirname "$0")/scripts/lib.sh"
VINDREL_USAGE="usage: ./run.sh            (DISPLAY= ./run.sh to run headless)
Builds vindrel.exe and runs it under Wine in this folder, where it writes stats.txt.
With a usable DISPLAY the dialog stays until you close it; without one it runs on a
private display and is closed once it is shown. Output goes to build/logs/run.log."
for arg in "$@"; do check_usage "$arg"; done
# The program says nothing when it cannot write its report, so this does, first.
if [ ! -w "$here" ] || { [ -e "$here/stats.txt" ] && [ ! -w "$here/stats.txt" ]; }; then
    log "cannot write stats.txt in $here; run it from a folder you can write to"
    exit 1
fi
take_turn "$@"

start_log run
ensure_packages
configure_and_build vindrel desktop
if [ -n "${DISPLAY:-}" ] && wine_here; then
    if xdotool getdisplaygeometry >/dev/null 2>&1; then
        # The user's display keeps Wine's defaults: a prefix of its own, managed windows.
        # Its dialog stays as long as the user likes, so other runs need not wait for it;
        # its Wine server ends by itself a few seconds after the dialog.
        export WINEPREFIX=$VINDREL_BUILD/wineprefix-display
        session prefix "$WINEPREFIX" 2>>"$VINDREL_LOG"
        end_turn
        status=0
        wine "$VINDREL_BUILD/app/vindrel.exe" </dev/null >>"$VINDREL_LOG" 2>&1 || status=$?
        if [ "$status" -ne 0 ]; then
            fail "vindrel.exe exited with $status"
            exit "$status"
        fi
        log "vindrel.exe exited with 0; the report is $here/stats.txt"
        exit 0
    fi
    log "the display $DISPLAY is not usable; running headless instead"
fi
unset DISPLAY
in_session "$VINDREL_ROOT/scripts/run-inner.sh"
