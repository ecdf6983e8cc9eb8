#!/usr/bin/env bash
# Regenerates docs/screenshot.png: vindrel.exe's whole dialog, title bar and menu
# included, active, the CPU section expanded, on the private display; says where it ran.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
VINDREL_USAGE="usage: scripts/screenshot.sh [OUT.png]   (default docs/screenshot.png)
Shows vindrel.exe's filled dialog on the private display with the CPU section
expanded, and saves the whole window, caption and menu included, as a PNG."

if [ "${1:-}" != --inner ]; then
    for arg in "$@"; do [[ $arg != -* ]] || check_usage "$arg"; done
    [ $# -le 1 ] || usage_error "one argument at most: the picture to write"
    out=$(realpath -m "${1:-$VINDREL_ROOT/docs/screenshot.png}")
    take_turn "$@"
    start_log screenshot
    ensure_packages imagemagick
    configure_and_build vindrel desktop wintool
    where="the emulated test machine (qemu)"
    wine_here && where="native 32-bit $(wine --version)"
    in_session "$VINDREL_ROOT/scripts/screenshot.sh" --inner "$out"
    log "wrote $out, taken on $where"
    exit 0
fi

work=$(mktemp -d)
at_exit 'rm -rf "$work"'
cd "$work"
show_dialog
# Once the report is written the probes' hidden windows have come and gone. Home
# selects the first section, Right expands it; then the dialog is made the active
# window, as a click on another window and back would (there is no window manager).
until [ -s stats.txt ]; do sleep 0.1; done
"$VINDREL_ROOT/scripts/press-key.sh" --window "$window" Home Right
sleep 1
wine "$VINDREL_BUILD/tests/tools/wintool.exe" activate </dev/null >>"$VINDREL_LOG" 2>&1
sleep 1
# Wine draws an unmanaged window's frame itself: its X window is the whole dialog.
import -window "$window" "$work/shot.png"
mkdir -p "$(dirname "$2")"
cp "$work/shot.png" "$2"
"$VINDREL_ROOT/scripts/press-key.sh" --window "$window" Escape
wait "$program" || true
