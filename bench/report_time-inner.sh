#!/usr/bin/env bash
# The measurement proper, where 32-bit Wine works, in the private session.
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
handle_signals

use_session
export VINDREL_BUILD
waited python3 "$VINDREL_ROOT/bench/report_time.py" "$@"
