#!/usr/bin/env bash
# Gives the Vindrel dialog the keyboard focus and types real keystrokes into it
# (XTEST through xdotool): press-key.sh KEY [KEY...]
set -euo pipefail
window=$(xdotool search --sync --limit 1 --name '^Vindrel$')
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
xdotool key --delay 100 "$@"
