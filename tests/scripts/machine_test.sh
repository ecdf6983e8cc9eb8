#!/usr/bin/env bash
# The test machine's jobs, from this side: a job's output, status and environment (only
# the allowed names cross); what a job leaves ends with it, and a command that is not there
# fails as a shell's would; a Ctrl-C ends the command at once and its job in the machine
# soon after, while the machine stays for the next command. Runs in the machine the
# suite holds; where Windows programs run here, there is none (skipped).
set -uo pipefail
set -m
root=$(cd "$(dirname "$0")/../.." && pwd)
session=$root/scripts/session.py
python3 "$session" native && { echo "no test machine here"; exit 77; }
work=$(mktemp -d "$VINDREL_BUILD/machine-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
failed() { echo "FAILED: $*"; failures=$((failures + 1)); }
guest() { (cd "$work" && python3 "$session" run "$@"); }

said=$(VINDREL_PROBE=in NOT_ALLOWED=out guest bash -c 'echo "$VINDREL_SESSION ${VINDREL_PROBE:-} ${NOT_ALLOWED:-none} $PWD"
    echo err >&2; exit 3' 2>"$work/errors"; echo "status $?")
[ "$said" = $'/run/vindrel-session in none '"$work"$'\nstatus 3' ] || failed "a job's output, environment and status: $said"
[ "$(cat "$work/errors")" = err ] || failed "a job's errors: $(cat "$work/errors")"

guest bash -c 'sleep 602 &' || failed "a job that left a process"
for _ in $(seq 30); do guest pgrep -f "sleep 602" >/dev/null || break; sleep 1; done
guest pgrep -a -f "sleep 602" && failed "what a job left runs on in the machine"
said=$(guest no-such-command 2>&1; echo "status $?")
[ "$said" = $'no-such-command: No such file or directory\nstatus 127' ] || failed "a missing command: $said"

printf '%s\n' "exec python3 $session run bash -c ': >started; exec sleep 600'" >"$work/job.sh"
(cd "$work" && exec python3 "$session" guard --turn bash "$work/job.sh") 2>"$work/said" &
pid=$!
for _ in $(seq 600); do [ -e "$work/started" ] && break; sleep 0.1; done
start=$SECONDS
kill -INT -- -"$pid"
status=0
wait "$pid" || status=$?
[ "$status" -eq 130 ] && [ $((SECONDS - start)) -le 2 ] || failed "Ctrl-C: status $status after $((SECONDS - start)) s"
grep -qx "\[vindrel\] interrupted (SIGINT); what this run started has ended" "$work/said" ||
    failed "Ctrl-C said: $(cat "$work/said")"
for _ in $(seq 30); do guest pgrep -f "sleep 600" >/dev/null || break; sleep 1; done
guest pgrep -a -f "sleep 600" && failed "the job still runs in the machine"

[ "$failures" -eq 0 ] && echo "machine: all cases passed"
exit $((failures > 0))
