#!/usr/bin/env bash
# Gives the Vindrel dialog the keyboard focus and types real keystrokes into it
# (XTEST through xdotool): press-key.sh [--window ID] KEY [KEY...]. Without a window
# it waits for the one named Vindrel.
set -euo pipefail
if [ "${1:-}" = --window ]; then
    window=$2
    shift 2
else
    window=$(xdotool search --sync --limit 1 --name '^Vindrel$')
fi
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool key --delay 100 "$@"
