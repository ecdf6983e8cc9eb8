#!/usr/bin/env bash
# The measurement proper, where 32-bit Wine works.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"

ensure_prefix
trap cleanup_all EXIT
start_xvfb
start_wineserver
export VINDREL_BUILD
python3 "$VINDREL_ROOT/bench/report_time.py" "$1"
