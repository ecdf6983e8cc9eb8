#!/usr/bin/env bash
# Regenerates docs/screenshot.png: vindrel.exe's filled dialog with the CPU section
# expanded, on a private virtual display.  Usage: scripts/screenshot.sh [out.png]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
VINDREL_USAGE="usage: scripts/screenshot.sh [OUT.png]   (default docs/screenshot.png)
Shows vindrel.exe's filled dialog on the private display with the CPU section
expanded, and saves the window as a PNG."

if [ "${1:-}" != --inner ]; then
    for arg in "$@"; do [[ $arg != -* ]] || check_usage "$arg"; done
    [ $# -le 1 ] || usage_error "one argument at most: the picture to write"
    handle_signals
    out=$(realpath -m "${1:-$VINDREL_ROOT/docs/screenshot.png}")
    take_turn
    start_log screenshot
    install_packages "${VINDREL_PACKAGES[@]}" imagemagick
    configure_and_build vindrel wintool
    VINDREL_NESTED=1 waited on_wine_host "$VINDREL_ROOT/scripts/screenshot.sh" --inner "$out"
    exit 0
fi

out=$2
handle_signals
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
# The whole window, caption and frame included, as Windows places it.
read -r x y width height < <(wine "$VINDREL_BUILD/tests/tools/wintool.exe" describe </dev/null 2>>"$VINDREL_LOG" |
    tr -d '\r' | sed -n 's/^frame //p')
import -window root -crop "${width}x${height}+${x}+${y}" +repage "$work/shot.png"
mkdir -p "$(dirname "$out")"
cp "$work/shot.png" "$out"
"$VINDREL_ROOT/scripts/press-key.sh" Escape
wait "$program" || true
cd /
log "wrote $out"
