#!/usr/bin/env bash
# Every entry script answers --help and -h with its usage, and refuses what it does not
# take with one line, the usage and status 2, before it does any work.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# expect STATUS FIRST SCRIPT ARG...: its status and the first line it says (a glob
# pattern); it has made nothing in its build folder.
expect() {
    local want=$1 first=$2 status=0 said
    shift 2
    rm -rf "$work/build"
    said=$(cd "$work" && VINDREL_BUILD=$work/build "$root/$@" 2>&1 </dev/null) || status=$?
    if [ "$status" != "$want" ] || [[ ${said%%$'\n'*} != $first ]] || [ -e "$work/build/logs" ] ||
        [[ $said != *"usage: "* ]]; then
        echo "FAIL $*: status $status (want $want), said:"
        sed 's/^/    /' <<<"$said"
        failures=$((failures + 1))
    fi
}

for script in run.sh test.sh scripts/release.sh scripts/fresh-machine.sh scripts/screenshot.sh \
    bench/run_time.sh bench/report_time.sh bench/cpu_speed.sh; do
    for help in -h --help; do
        expect 0 "usage: *${script#scripts/}*" "$script" "$help"
    done
    expect 2 "\[vindrel\] unknown option: --bogus*" "$script" --bogus
done
expect 2 "\[vindrel\] unexpected argument: now" run.sh now
expect 2 "\[vindrel\] unknown option: --bogus (not one of ctest's*" test.sh -R unit --bogus
expect 2 "\[vindrel\] -E needs a value" test.sh -E
expect 2 "\[vindrel\] unknown option: --chek" scripts/release.sh --chek vindrel.exe
expect 2 "\[vindrel\] no such file: nothing.exe" scripts/release.sh --check nothing.exe
expect 2 "\[vindrel\] the number of runs is a whole number from 1, not x" bench/report_time.sh x

# What test.sh lets through to ctest: the options that choose, show or repeat tests.
if ! out=$(VINDREL_BUILD=$work/build bash -c 'set -euo pipefail; source "$1/scripts/lib.sh"; VINDREL_USAGE=u
    check_ctest_arguments -LE fuzz -R "^e2e_" -E -x -j2 --output-on-failure --repeat until-pass:2 --timeout=60 -N' \
    _ "$root" 2>&1); then
    echo "FAIL ctest options refused: $out"
    failures=$((failures + 1))
fi

[ "$failures" = 0 ] && echo "usage: all cases passed"
exit "$((failures > 0))"
