#!/usr/bin/env bash
# Longer fuzzing of the pure decisions (line formatter, extension scan, capacity
# text), natively with clang, AddressSanitizer and UndefinedBehaviorSanitizer.
# Usage: scripts/fuzz.sh [SECONDS per target, default 600] [TARGET...]
# Corpora and findings stay in build-fuzz/ for the next run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-600}
shift || true
exec nice bash "$root/tests/fuzz/run_fuzzers.sh" "${VINDREL_FUZZ_DIR:-$root/build-fuzz}" "$seconds" "$@"
