#!/usr/bin/env bash
# Sets up a fresh machine and runs the whole test suite three times: a normal build, AddressSanitizer with
# UndefinedBehaviorSanitizer, and ThreadSanitizer; then runs the fuzz targets for a bounded time ("fuzz",
# see scripts/fuzz.sh). Pass configuration names to run only those.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

configs=("$@")
[ ${#configs[@]} -eq 0 ] && configs=(normal asan tsan fuzz)

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

for config in "${configs[@]}"; do
    if [ "$config" = fuzz ]; then
        scripts/fuzz.sh "${ZQB_FUZZ_SECONDS:-20}"
        continue
    fi
    echo "=== $config: build"
    scripts/build.sh "$config"
    echo "=== $config: test"
    runner=()
    # ThreadSanitizer's shadow memory needs a fixed address layout on kernels with wide address randomisation.
    if [ "$config" = tsan ] && command -v setarch >/dev/null; then
        runner=(setarch "$(uname -m)" -R)
    fi
    "${runner[@]}" ctest --test-dir "build/$config" -j "$(nproc)" --output-on-failure --timeout 300
done
echo "=== all test runs passed: ${configs[*]}"
