#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build/fuzz and runs each for a bounded time (default 20 s per
# target; pass another number of seconds as the first argument, 0 to build only). Crashing inputs are written
# to build/fuzz/crashes. ZQB_JOBS caps the parallel compiles, as in build.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-20}"
export CC=clang-14 CXX=clang++-14
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# -O1 with line tables only: a quicker build for CI, and stack traces that still name file and line.
cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" \
    -DZQB_SANITIZER=fuzzer -DZQB_BUILD_FUZZ=ON -DZQB_BUILD_TESTS=OFF -DZQB_BUILD_BENCH=OFF \
    -DZQB_BUILD_EXAMPLES=OFF "${launcher[@]}" >/dev/null
cmake --build build/fuzz -j "${ZQB_JOBS:-$(nproc)}"
[ "$seconds" -eq 0 ] && exit 0

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p build/fuzz/crashes
# The targets share nothing, so they run side by side: the whole run takes one target's time.
names=()
pids=()
for target in build/fuzz/fuzz/*Fuzz; do
    name="$(basename "$target")"
    corpus="build/fuzz/corpus/$name"
    mkdir -p "$corpus"
    "$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="build/fuzz/crashes/$name-" "$corpus" >"build/fuzz/$name.log" 2>&1 &
    names+=("$name")
    pids+=("$!")
done
failed=0
for i in "${!names[@]}"; do
    name="${names[$i]}"
    status=0
    wait "${pids[$i]}" || status=$?
    echo "=== fuzz: $name for ${seconds}s"
    tail -n 15 "build/fuzz/$name.log"
    if [ "$status" -ne 0 ]; then
        echo "fuzz target $name failed (status $status); inputs in build/fuzz/crashes" >&2
        failed="$status"
    fi
done
exit "$failed"
