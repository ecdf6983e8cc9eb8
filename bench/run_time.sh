#!/usr/bin/env bash
# Times what a user waits for around the program: warm headless runs (each
# "DISPLAY= ./run.sh" started 2 s after the one before; median and range) beside
# vindrel.exe's own launch to exit in the same session, and a cold run: a fresh
# clone's first run, packages present. Each run happens in an empty folder, which
# must hold only stats.txt afterwards.  Usage: bench/run_time.sh [runs]   (default 5)
set -euo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
VINDREL_USAGE="usage: bench/run_time.sh [RUNS]   (default 5)
Times warm headless runs of ./run.sh beside vindrel.exe's own launch to exit, and
a fresh clone's cold run; prints medians and ranges."
bench_runs 5 "$@"
take_turn "$@"
start_log bench
ensure_packages
configure_and_build vindrel desktop bench_watch
work=$(mktemp -d)
clone=$work/clone
end_clone() {
    [ ! -d "$clone/build" ] || VINDREL_BUILD=$clone/build session stop
    rm -rf "$work"
}
at_exit end_clone

# timed RUN_SH: the wall time of "DISPLAY= RUN_SH" in an empty folder, in $took.
timed() {
    local start end left
    rm -rf "$work/out"
    mkdir "$work/out"
    start=$EPOCHREALTIME
    env -C "$work/out" -u DISPLAY "$1" >>"$VINDREL_LOG" 2>&1 || { fail "$1 failed"; exit 1; }
    end=$EPOCHREALTIME
    left=$(ls -A "$work/out")
    [ "$left" = stats.txt ] || { log "the run left in its folder: ${left:-nothing}"; exit 1; }
    took=$(python3 -c 'import sys; print("%.3f" % (float(sys.argv[2]) - float(sys.argv[1])))' "$start" "$end")
}

cold=""
# One emulated machine at a time: the clone's, then this folder's.
session stop
if git -C "$VINDREL_ROOT" rev-parse --verify -q HEAD >/dev/null; then
    commit=$(git -C "$VINDREL_ROOT" rev-parse --short HEAD)
    log "cold run: a clone of $commit (committed files only)"
    git clone -q --no-checkout "$VINDREL_ROOT" "$clone"
    git -C "$clone" checkout -q "$commit"
    timed "$clone/run.sh"
    cold=$took
fi

log "warm runs"
timed "$VINDREL_ROOT/run.sh"
warm=()
for _ in $(seq "$runs"); do
    sleep 2
    timed "$VINDREL_ROOT/run.sh"
    warm+=("$took")
    log "warm run: ${warm[-1]} s"
done
VINDREL_BUILD=$VINDREL_BUILD in_session python3 "$VINDREL_ROOT/bench/report_time.py" own "$runs" >"$work/own" 2>>"$VINDREL_LOG"
own=$(tr -d '\r' <"$work/own")
if wine_here; then
    where="native 32-bit $(wine --version)"
else
    where="the test machine ($(qemu-system-x86_64 --version | head -n 1), software emulation, kept between runs)"
fi

python3 - "$where" "$cold" "${warm[*]}" "$own" <<'PY'
import statistics
import sys

where, cold = sys.argv[1], sys.argv[2]
warm = [float(f) for f in sys.argv[3].split()]
own = [float(f) for f in sys.argv[4].split()]


def spread(values):
    return "%7.3f s  (%.3f - %.3f)" % (statistics.median(values), min(values), max(values))


print("Vindrel run time, %d runs each; median (min - max)" % len(warm))
print("platform: %s" % where)
print()
print("warm run    DISPLAY= ./run.sh, 2 s apart  %s" % spread(warm))
print("vindrel.exe launch to exit, same session  %s" % spread(own))
print("around the program (medians)             %7.3f s   ratio run/program %.2f" % (
    statistics.median(warm) - statistics.median(own), statistics.median(warm) / statistics.median(own)))
if cold:
    print("cold run    a fresh clone's first run     %7.3f s  (configure, build vindrel.exe and" % float(cold))
    print("            desktop.exe, make the prefix, start the session; packages present)")
PY
