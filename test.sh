#!/usr/bin/env bash
# Installs what is missing, builds everything, and runs the whole suite through CTest
# in the private session. Arguments go to ctest; those that are not its are refused.
set -euo pipefail
source "$(dirname "$0")/scripts/lib.sh"
VINDREL_USAGE="usage: ./test.sh [CTEST OPTION...]
Builds everything and runs the suite through CTest. Labels: unit, e2e, fault, fuzz.
  ./test.sh -LE fuzz            the quick loop: all but the fuzzing pass
  ./test.sh -L unit             the unit tests alone
  ./test.sh -R e2e_opengl       one test
VINDREL_FUZZ_SECONDS=N gives the fuzzing pass N seconds in all (default 30).
Output goes to build/logs/test.log."
# ctest ignores options it does not know, so the ones that choose, show or repeat
# tests are the ones let through; those of the first list take a value.
valued=" -R --tests-regex -E --exclude-regex -L --label-regex -LE --label-exclude -I --tests-information
    -FA --fixture-exclude-any -FS --fixture-exclude-setup -FC --fixture-exclude-cleanup -j --parallel
    -O --output-log --output-junit --timeout --repeat --test-output-size-passed --test-output-size-failed "
plain=" -U --union -N --show-only -V --verbose -VV --extra-verbose -Q --quiet --output-on-failure
    --stop-on-failure --rerun-failed --schedule-random --print-labels --no-label-summary --progress "
value=
for arg in "$@"; do
    if [ -n "$value" ]; then
        value=
    elif [[ $arg == -j[0-9]* || ($arg == --*=* && $valued == *" ${arg%%=*} "*) ]]; then
        :
    elif [[ $valued == *" $arg "* ]]; then
        value=1
    elif [[ $plain != *" $arg "* ]]; then
        case $arg in
        -h | --help) check_usage "$arg" ;;
        -*) usage_error "not a ctest option this suite takes: $arg" ;;
        *) usage_error "unexpected argument: $arg (a test name goes after -R)" ;;
        esac
    fi
done
[ -z "$value" ] || usage_error "${*: -1} needs a value"
handle_signals
take_turn

start_log test
install_packages "${VINDREL_PACKAGES[@]}" "${VINDREL_TEST_PACKAGES[@]}"
configure_and_build
VINDREL_NESTED=1 waited on_wine_host "$VINDREL_ROOT/scripts/test-inner.sh" "$@"
