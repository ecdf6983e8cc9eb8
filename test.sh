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
check_ctest_arguments "$@"
take_turn "$@"

start_log test
ensure_packages "${VINDREL_TEST_PACKAGES[@]}"
# The session starts (the test machine boots) while the rest builds, and is held until
# this script ends. CTest runs here; wine-run sends what needs 32-bit Wine to the machine.
configure_and_build desktop
session run --here bash -c 'while kill -0 "$1"; do sleep 1; done' _ $$ </dev/null >>"$VINDREL_LOG" 2>&1 &
configure_and_build
cd "$VINDREL_BUILD"
session run --here ctest --output-on-failure --timeout "${VINDREL_TEST_TIMEOUT:-1800}" -j 2 "$@"
