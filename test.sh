#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite through CTest.
set -euo pipefail
source "$(dirname "$0")/scripts/lib.sh"

ensure_packages
ensure_i386_exec
configure_and_build
ensure_prefix

trap cleanup_all EXIT
start_xvfb
start_wineserver

cd "$VINDREL_BUILD"
ctest --output-on-failure --timeout "${VINDREL_TEST_TIMEOUT:-900}" "$@"
