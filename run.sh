#!/usr/bin/env bash
# Installs what is missing, builds, and runs vindrel.exe under Wine in the caller's
# directory, where it writes stats.txt. With a usable DISPLAY the dialog is shown
# until the user closes it; without one a private virtual display is used and the
# dialog is closed with Escape once it is filled and shown.
set -euo pipefail
here=$(pwd)
source "$(dirname "$0")/scripts/lib.sh"

ensure_packages
configure_and_build
cd "$here"
if native_i386 && [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
    ensure_prefix
    wine "$VINDREL_BUILD/app/vindrel.exe"
    exit 0
fi
unset DISPLAY
on_wine_host "$VINDREL_ROOT/scripts/run-inner.sh"
