#!/usr/bin/env bash
# The test machine's jobs, from this side: a Ctrl-C ends the command at once and its job
# in the machine soon after, while the machine stays for the next command. Runs in the
# machine the suite holds; where Windows programs run here, there is none (skipped).
set -uo pipefail
set -m
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib.sh"
in_machine || { echo "no test machine here"; exit 77; }
work=$(mktemp -d "$VINDREL_BUILD/machine-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
failed() { echo "FAILED: $*"; failures=$((failures + 1)); }
guest() { (cd "$work" && "$root/scripts/vm-run.sh" "$@"); }

[ "$(guest bash -c 'echo $VINDREL_GUEST; exit 3'; echo "status $?")" = $'1\nstatus 3' ] || failed "a job's output and status"

(cd "$work" && exec "$root/scripts/vm-run.sh" bash -c ': >started; exec sleep 600') 2>"$work/said" &
pid=$!
for _ in $(seq 600); do [ -e "$work/started" ] && break; sleep 0.1; done
printf -v start '%(%s)T' -1
kill -INT -- -"$pid"
status=0
wait "$pid" || status=$?
printf -v now '%(%s)T' -1
[ "$status" -eq 130 ] && [ $((now - start)) -le 2 ] || failed "Ctrl-C: status $status after $((now - start)) s"
grep -qx "\[vindrel\] interrupted (SIGINT); what this run started has ended" "$work/said" ||
    failed "Ctrl-C said: $(cat "$work/said")"
for _ in $(seq 30); do guest pgrep -f "sleep 600" >/dev/null || break; sleep 1; done
guest pgrep -a -f "sleep 600" && failed "the job still runs in the machine"

[ "$failures" -eq 0 ] && echo "machine: all cases passed"
exit $((failures > 0))
