#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite through CTest.
set -euo pipefail
source "$(dirname "$0")/scripts/lib.sh"

ensure_packages
configure_and_build
on_wine_host "$VINDREL_ROOT/scripts/test-inner.sh" "$@"
