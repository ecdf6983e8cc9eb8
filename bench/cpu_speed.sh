#!/usr/bin/env bash
# Runs the clock measurement of the "CPU" section under Wine and sets the median of
# the runs beside the host's time-stamp counter frequency. Prints; never fails on
# an inaccurate figure.  Usage: bench/cpu_speed.sh [runs]   (default 10)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"

runs=${1:-10}
ensure_packages
configure_and_build
cmake --build "$VINDREL_BUILD" --target cpu_speed_bench >&2

# The kernel's own figure: its refined calibration, else what it detected at boot,
# else /proc/cpuinfo when the processor declares a known TSC frequency.
host_mhz=$(dmesg 2>/dev/null | sed -n 's/.*Refined TSC clocksource calibration: \([0-9.]*\) MHz.*/\1/p' | tail -n 1)
source="kernel (refined calibration)"
if [ -z "$host_mhz" ]; then
    host_mhz=$(dmesg 2>/dev/null | sed -n 's/.*tsc: Detected \([0-9.]*\) MHz.*/\1/p' | tail -n 1)
    source="kernel (detected at boot)"
fi
if [ -z "$host_mhz" ] && grep -qw tsc_known_freq /proc/cpuinfo; then
    host_mhz=$(sed -n 's/^cpu MHz[[:space:]]*: \([0-9.]*\)/\1/p' /proc/cpuinfo | head -n 1)
    source="/proc/cpuinfo (tsc_known_freq)"
fi

# Where this kernel refuses 32-bit code the runs happen in a virtual machine whose
# time-stamp counter is this machine's, so the host's figure stays the reference.
figures=$(on_wine_host bash -c 'source "$1/scripts/lib.sh" && ensure_prefix && wine "$2" "$3"; wineserver -k' \
    _ "$VINDREL_ROOT" "$VINDREL_BUILD/probes/cpu/cpu_speed_bench.exe" "$runs" | tr -d '\r' |
    grep -E '^-?[0-9.]+(e[+-][0-9]+)?$' || true)
[ -n "$figures" ] || { log "the measurement printed nothing"; exit 1; }

python3 - "$host_mhz" "$source" $figures <<'PY'
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
