#!/usr/bin/env bash
# Times the report: vindrel.exe against the floor program (the same dialog, no
# probes) and Wine's own "dxdiag /t", on a warm prefix and a private Xvfb, and
# prints medians, ranges, ratios, each section's cost and the executable's size.
# Usage: bench/report_time.sh [runs]   (default 10)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
VINDREL_USAGE="usage: bench/report_time.sh [RUNS]   (default 10)
Times vindrel.exe against the floor program and Wine's dxdiag /t in the private
session, and prints medians, ranges, ratios, each section's cost and the size."
bench_runs 10 "$@"
take_turn "$@"
start_log bench
ensure_packages
configure_and_build vindrel_bench desktop
# The test machine emulates its processor in software.
wine_here || export VINDREL_BENCH_EMULATED=1
VINDREL_BUILD=$VINDREL_BUILD in_session python3 "$VINDREL_ROOT/bench/report_time.py" "$runs"
