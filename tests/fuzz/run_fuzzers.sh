#!/usr/bin/env bash
# Builds the libFuzzer targets natively with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer), unless they are up to date, and runs each for SECONDS,
# or with "total", within VINDREL_FUZZ_SECONDS (default 30) in all, builds included:
# each target gets an even share of what is left.
# Usage: run_fuzzers.sh OUT_DIR SECONDS|total [TARGET...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
seconds=$2
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(format gl_extension_checklist capacity reader)
budget=
[ "$seconds" != total ] || budget=${VINDREL_FUZZ_SECONDS:-30}

declare -A sources=(
    [format]="report/format.cpp"
    [gl_extension_checklist]="probes/graphics/gl_extension_checklist.cpp"
    [capacity]="probes/system/system_text.cpp"
    [reader]="reader/lines.cpp reader/report_reader.cpp reader/report_diff.cpp reader/fleet.cpp report/format.cpp
              probes/graphics/gl_extension_checklist.cpp"
)
# A whole report to start from: random bytes seldom spell one.
seed_reader() { python3 "$root/tests/reader/typed_report.py" >"$1/typed-report"; }
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$root")

for target in "${targets[@]}"; do
    binary=$out/${target}_fuzz
    files=()
    for source in ${sources[$target]}; do files+=("$root/$source"); done
    if [ ! -x "$binary" ] || [ -n "$(find "$root" -path "$root/build*" -prune -o \( -name '*.cpp' -o -name '*.h' \) \
            -newer "$binary" -print -quit)" ]; then
        clang++ "${flags[@]}" "$here/${target}_fuzz.cpp" "${files[@]}" -o "$binary"
    fi
done

status=0
left=${#targets[@]}
for target in "${targets[@]}"; do
    binary=$out/${target}_fuzz
    if [ -n "$budget" ]; then
        seconds=$(((budget - SECONDS) / left))
        [ "$seconds" -ge 1 ] || seconds=1
        left=$((left - 1))
    fi
    corpus=$out/corpus-$target
    mkdir -p "$corpus" "$out/findings-$target"
    if [ "$target" = reader ] && [ -z "$(ls -A "$corpus")" ]; then seed_reader "$corpus"; fi
    echo "== $target: ${seconds}s"
    if ! (cd "$out/findings-$target" && "$binary" "$corpus" -max_total_time="$seconds" -max_len=300000 \
            -rss_limit_mb=2048 -print_final_stats=1 2>&1 | tail -n 25); then
        status=1
    fi
    if ls "$out/findings-$target"/crash-* "$out/findings-$target"/leak-* "$out/findings-$target"/timeout-* \
            >/dev/null 2>&1; then
        echo "== $target: findings in $out/findings-$target"
        status=1
    fi
done
exit $status
