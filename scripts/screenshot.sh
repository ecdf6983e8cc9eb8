#!/usr/bin/env bash
# Regenerates docs/screenshot.png: vindrel.exe's filled dialog with the CPU section
# expanded, on a private virtual display.  Usage: scripts/screenshot.sh [out.png]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
handle_signals

if [ "${1:-}" != --inner ]; then
    out=$(realpath -m "${1:-$VINDREL_ROOT/docs/screenshot.png}")
    take_turn
    start_log screenshot
    install_packages "${VINDREL_PACKAGES[@]}" imagemagick
    configure_and_build vindrel wintool
    VINDREL_NESTED=1 waited on_wine_host "$VINDREL_ROOT/scripts/screenshot.sh" --inner "$out"
    exit 0
fi

out=$2
use_session
work=$(mktemp -d)
remove_work() { rm -rf "$work"; }
at_exit remove_work
cd "$work"
wine "$VINDREL_BUILD/app/vindrel.exe" </dev/null >>"$VINDREL_LOG" 2>&1 &
program=$!
waited wine "$VINDREL_BUILD/tests/tools/wintool.exe" wait-shown 600000 </dev/null >>"$VINDREL_LOG" 2>&1
# Home selects the first section, Right expands it.
"$VINDREL_ROOT/scripts/press-key.sh" Home Right
sleep 2
window=$(xdotool search --limit 1 --name '^Vindrel$')
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$work/shot.png"
mkdir -p "$(dirname "$out")"
cp "$work/shot.png" "$out"
"$VINDREL_ROOT/scripts/press-key.sh" Escape
wait "$program" || true
cd /
log "wrote $out"
