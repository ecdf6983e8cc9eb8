#!/usr/bin/env bash
# The set-up's package step against stand-in dpkg, dpkg-query, apt-get, sudo and id
# (first and only on PATH): what it asks of apt, and what it says when it cannot go on.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# The tools the scripts need besides the stand-ins, and no sudo unless a case adds it.
mkdir -p "$work/tools"
for tool in awk bash cat dirname env flock grep kill mkdir rm sed sh sleep tail; do
    ln -s "$(command -v "$tool")" "$work/tools/$tool"
done
ln -s /usr/bin/python3 "$work/tools/python3"  # the system's, which needs no environment
stand_in() { printf '#!/bin/bash\n%s\n' "$2" >"$work/tools/$1" && chmod +x "$work/tools/$1"; }
# Each call is noted as it reached the platform: "sudo " when sudo ran it.
note='echo "${VIA_SUDO:+sudo }${0##*/} $*" >>"$CALLS"'
stand_in dpkg-query 'status=0
for p in "${@:3}"; do
    case " $INSTALLED " in
    *" $p "*) echo "$p ii " ;;
    *" $p:amd64 "*) echo "$p:amd64 ii " ;;
    *) status=1 ;;
    esac
done
exit $status'
stand_in dpkg "[ -z \"\${DPKG_FAILS:-}\" ] || exit 2
case \$1 in
--print-architecture) echo amd64 ;;
--print-foreign-architectures) printf '%s\n' \$FOREIGN ;;
*) $note ;;
esac"
stand_in apt-get "$note
[ -z \"\${APT_FAILS:-}\" ] || [[ \" \$* \" != *\" install \"* ]] || { echo \"E: Package 'b' has no installation candidate\"; exit 100; }"
stand_in id 'echo "$USER_ID"'
mkdir -p "$work/sudo"
printf '#!/bin/bash\nVIA_SUDO=1 exec "$@"\n' >"$work/sudo/sudo" && chmod +x "$work/sudo/sudo"

# expect NAME STATUS CALLS SAID ENV... -- PACKAGES...: install_packages under ENV exits
# with STATUS (0 or "non-zero"), makes exactly CALLS and says SAID (a grep pattern).
expect() {
    local name=$1 want=$2 calls=$3 said=$4 status=0 env=() path=$work/tools
    shift 4
    while [ "$1" != -- ]; do env+=("$1"); shift; done
    shift
    [[ " ${env[*]} " != *" SUDO=1 "* ]] || path=$path:$work/sudo
    : >"$work/calls"
    rm -rf "$work/build"
    env -i PATH="$path" CALLS="$work/calls" VINDREL_BUILD="$work/build" INSTALLED="a b:i386 c:amd64" \
        FOREIGN=i386 USER_ID=0 "${env[@]}" bash -c 'set -euo pipefail; source "$1"; install_packages "${@:2}"' \
        _ "$root/scripts/lib.sh" "$@" 2>"$work/said" || status=$?
    local wrong=""
    [ "$want" = 0 ] && [ "$status" != 0 ] && wrong="exit status $status"
    [ "$want" != 0 ] && [ "$status" = 0 ] && wrong="exit status 0"
    [ "$(cat "$work/calls")" = "$calls" ] || wrong="$wrong; calls: $(cat "$work/calls")"
    if [ -z "$said" ]; then
        [ ! -s "$work/said" ] || wrong="$wrong; said something"
    else
        grep -qE "$said" "$work/said" || wrong="$wrong; no line matching: $said"
    fi
    if [ -n "$wrong" ]; then
        echo "FAIL $name: ${wrong#; }"
        sed 's/^/    said: /' "$work/said"
        failures=$((failures + 1))
    fi
}

expect "nothing missing" 0 "" "" -- a b:i386 c
expect "some missing, i386 absent" 0 "dpkg --add-architecture i386
apt-get -o Acquire::Retries=3 update
apt-get -o Acquire::Retries=3 install -y --no-install-recommends d e:i386" '^\[vindrel\] installing d e:i386$' FOREIGN= -- a d b:i386 e:i386
expect "not root" 0 "sudo apt-get -o Acquire::Retries=3 update
sudo apt-get -o Acquire::Retries=3 install -y --no-install-recommends d" 'installing d' USER_ID=1000 SUDO=1 -- a d
expect "not root, no sudo" non-zero "" \
    '^\[vindrel\] missing packages: d e:i386; .*no sudo; as root, run: dpkg --add-architecture i386 && apt-get update && apt-get install --no-install-recommends d e:i386$' \
    USER_ID=1000 FOREIGN= -- d e:i386
expect "apt failing" non-zero "apt-get -o Acquire::Retries=3 update
apt-get -o Acquire::Retries=3 install -y --no-install-recommends d" \
    "installing d failed \(status 100\); the log is $work/build/logs/vindrel.log" APT_FAILS=1 -- d
expect "apt's last lines shown" non-zero "apt-get -o Acquire::Retries=3 update
apt-get -o Acquire::Retries=3 install -y --no-install-recommends d" "^    E: Package 'b' has no installation candidate$" APT_FAILS=1 -- d

# Nothing stops silently: run.sh stopped by a failing command inside a command
# substitution names that command, its place and the log, once.
: >"$work/calls"
status=0
(cd "$work" && env -i PATH="$work/tools" CALLS="$work/calls" VINDREL_BUILD="$work/build" DPKG_FAILS=1 \
    bash "$root/run.sh" 2>"$work/said") || status=$?
lines=$(grep -c '^\[vindrel\]' "$work/said")
if [ "$status" = 0 ] || [ "$lines" != 1 ] ||
    ! grep -q '^\[vindrel\] "dpkg --print-architecture" failed (status 2, scripts/lib.sh line [0-9]*); the log is .*/run.log' \
        "$work/said"; then
    echo "FAIL a failing step of run.sh: status $status, $lines lines"
    sed 's/^/    said: /' "$work/said"
    failures=$((failures + 1))
fi

[ "$failures" = 0 ] && echo "package step: all cases passed"
exit "$((failures > 0))"
