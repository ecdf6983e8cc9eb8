#!/usr/bin/env bash
# The entry scripts' signal handling and turns, with stand-ins for the run (no Wine): a
# script like run.sh that starts a nested one like run-inner.sh, which starts helpers,
# one of them deaf to TERM. Stopped by SIGINT to its process group (Ctrl-C), or SIGTERM
# or SIGHUP to it alone, it dies of that signal, says so once, and leaves nothing of its
# process groups; runs of one build folder take turns, and a turn is waited for only so long.
set -uo pipefail
# Each run in a process group of its own, as a terminal starts it.
set -m
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
failed() { echo "FAILED: $*"; failures=$((failures + 1)); }

cat >"$work/outer.sh" <<EOF
#!/usr/bin/env bash
set -euo pipefail
source "$root/scripts/lib.sh"
take_turn "\$@"
echo "\$PPID has its turn" >>"$work/order"
bash "$work/inner.sh"
EOF
cat >"$work/inner.sh" <<EOF
set -euo pipefail
sleep 1000 &
bash -c 'trap "" TERM; exec sleep 1001' &
ps -o pgid= -p \$\$ >"$work/ready.\$PPID"
while :; do sleep \${HOLD:-0.1}; [ -z "\${ONCE:-}" ] || exit 0; done
EOF
chmod +x "$work/outer.sh"
export VINDREL_BUILD=$work/build
unset VINDREL_TURN VINDREL_FAIL_MARK VINDREL_GUARD

# in_group PGID: the processes still in that process group.
in_group() {
    local group=$1 f line
    for f in /proc/[0-9]*/stat; do
        read -r line 2>/dev/null <"$f" || continue
        # shellcheck disable=SC2086
        set -- ${line##*) }
        [ "$1" != Z ] && [ "$3" = "$group" ] && echo "${f//[^0-9]/}"
    done
}

# stop SIGNAL HOW: starts outer.sh, waits until the nested script runs, sends SIGNAL to
# its process group or to outer.sh alone, and checks the outcome.
stop() {
    local sig=$1 how=$2 pid status said left number
    rm -f "$work"/ready.*
    "$work/outer.sh" 2>"$work/said" &
    pid=$!
    for _ in $(seq 200); do ls "$work"/ready.* >/dev/null 2>&1 && break; sleep 0.05; done
    if [ "$how" = group ]; then kill -"$sig" -- -"$pid"; else kill -"$sig" "$pid"; fi
    status=0
    wait "$pid" || status=$?
    number=$(kill -l "$sig")
    [ "$status" -eq $((128 + number)) ] || failed "$sig to the $how: status $status"
    said=$(cat "$work/said")
    [ "$said" = "[vindrel] interrupted (SIG$sig); what this run started has ended" ] ||
        failed "$sig to the $how said: $said"
    left=$(for group in "$pid" $(cat "$work"/ready.*); do in_group "$group"; done)
    [ -z "$left" ] || { failed "$sig to the $how left: $(ps -o pid,cmd -p "${left//$'\n'/,}")"; kill -9 $left; }
}
stop INT group
stop TERM alone
stop HUP alone

# Two at once: the second says it waits and has its turn once the first has ended.
rm -f "$work/order"
ONCE=1 HOLD=1 "$work/outer.sh" 2>"$work/first" &
first=$!
for _ in $(seq 200); do [ -s "$work/order" ] && break; sleep 0.05; done
ONCE=1 HOLD=0 "$work/outer.sh" 2>"$work/second" &
second=$!
wait "$first" || failed "the first run failed: $(cat "$work/first")"
wait "$second" || failed "the second run failed: $(cat "$work/second")"
[ "$(cut -d' ' -f1 "$work/order" | tr '\n' ' ')" = "$first $second " ] || failed "turns: $(cat "$work/order")"
grep -q "^\[vindrel\] another run uses $work/build (PID $first outer.sh); waiting for it to end" "$work/second" ||
    failed "the second said: $(cat "$work/second")"

# A turn held too long: the run gives up, says what it waited for, and fails.
rm -f "$work"/ready.*
ONCE=1 HOLD=3 "$work/outer.sh" 2>/dev/null &
first=$!
for _ in $(seq 200); do ls "$work"/ready.* >/dev/null 2>&1 && break; sleep 0.05; done
rm -f "$work"/ready.*
if VINDREL_TURN_WAIT=1 ONCE=1 "$work/outer.sh" 2>"$work/said"; then
    failed "a run waited for longer than its limit"
fi
grep -q "^\[vindrel\] waited 1 s for the other run of $work/build ($first outer.sh) to end; giving up" "$work/said" ||
    failed "the run that gave up said: $(cat "$work/said")"
ls "$work"/ready.* >/dev/null 2>&1 && failed "the run that gave up ran all the same"
wait "$first"

[ "$failures" -eq 0 ] && echo "signals: all cases passed"
exit $((failures > 0))
