#!/usr/bin/env bash
# Installs what is missing, builds everything, and runs the whole suite through CTest
# in the private session. Arguments go to ctest.
set -euo pipefail
source "$(dirname "$0")/scripts/lib.sh"

start_log test
install_packages "${VINDREL_PACKAGES[@]}" "${VINDREL_TEST_PACKAGES[@]}"
configure_and_build
on_wine_host "$VINDREL_ROOT/scripts/test-inner.sh" "$@"
