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
handle_signals
take_turn
start_log bench
ensure_packages
configure_and_build cpu_speed_bench wintool

# The kernel's own figure (scripts/host_tsc.py).
read -r host_mhz source < <(python3 "$VINDREL_ROOT/scripts/host_tsc.py") || true

# Where this kernel refuses 32-bit code the runs happen in a virtual machine whose
# time-stamp counter is this machine's, so the host's figure stays the reference.
out=$(mktemp)
remove_out() { rm -f "$out"; }
at_exit remove_out
VINDREL_NESTED=1 waited on_wine_host bash -c 'source "$1/scripts/lib.sh" && handle_signals && use_session &&
    wine "$2" "$3" 2>>"$VINDREL_LOG"' _ "$VINDREL_ROOT" "$VINDREL_BUILD/bench/cpu_speed_bench.exe" "$runs" \
    >"$out" || true
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
    print("error:         %+.3f %% (target within 0.5 %%: %s)" % (error, "met" if abs(error) <= 0.5 else "missed"))
else:
    print("host TSC:      unknown (no kernel figure, no tsc_known_freq)")
PY
