#!/usr/bin/env bash
# The test run proper, where 32-bit Wine works: the private session, then CTest.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
handle_signals

use_session
cd "$VINDREL_BUILD"
waited ctest --output-on-failure --timeout "${VINDREL_TEST_TIMEOUT:-1800}" "$@"
