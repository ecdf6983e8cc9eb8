#!/usr/bin/env bash
# The test run proper, where 32-bit Wine works: prefix, virtual display, CTest.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

ensure_prefix
trap cleanup_all EXIT
start_xvfb
start_wineserver
cd "$VINDREL_BUILD"
ctest --output-on-failure --timeout "${VINDREL_TEST_TIMEOUT:-1800}" "$@"
