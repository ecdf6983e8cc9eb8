#!/usr/bin/env bash
# Runs the clock measurement of the "CPU" section under Wine and sets the median of
# the runs beside the host's time-stamp counter frequency. Prints; never fails on
# an inaccurate figure.  Usage: bench/cpu_speed.sh [runs]   (default 10)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
VINDREL_USAGE="usage: bench/cpu_speed.sh [RUNS]   (default 10)
Runs the CPU section's clock measurement under Wine and sets it beside the kernel's
time-stamp counter frequency."
bench_runs 10 "$@"
take_turn "$@"
start_log bench
ensure_packages
configure_and_build cpu_speed_bench desktop

# The kernel's own figure (bench/host_tsc.py).
read -r host_mhz source < <(python3 "$VINDREL_ROOT/bench/host_tsc.py") || true

# Where this kernel refuses 32-bit code the runs happen in a virtual machine whose
# time-stamp counter is this machine's, so the host's figure stays the reference.
out=$(mktemp)
remove_out() { rm -f "$out"; }
at_exit remove_out
in_session wine "$VINDREL_BUILD/bench/cpu_speed_bench.exe" "$runs" >"$out" 2>>"$VINDREL_LOG" || true
figures=$(tr -d '\r' <"$out" | grep -E '^-?[0-9.]+(e[+-][0-9]+)?$' || true)
[ -n "$figures" ] || { fail "the measurement printed nothing"; exit 1; }

python3 - "${host_mhz:-}" "${source:-}" $figures <<'PY'
import statistics
import sys

host, source, figures = sys.argv[1], sys.argv[2], [float(f) for f in sys.argv[3:]]
print("runs:          %d" % len(figures))
print("measured MHz:  " + " ".join("%.2f" % f for f in figures))
median = statistics.median(figures)
print("median:        %.3f MHz (min %.3f, max %.3f)" % (median, min(figures), max(figures)))
if host:
    host = float(host)
    error = (median - host) / host * 100
    print("host TSC:      %.3f MHz from %s" % (host, source))
    print("error:         %+.3f %%" % error)
else:
    print("host TSC:      unknown (no kernel figure, no tsc_known_freq)")
PY
