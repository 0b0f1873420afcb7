#!/usr/bin/env bash
# Configures and builds one configuration into build/<name>: normal, asan (Address+UndefinedBehavior
# sanitizers) or tsan (ThreadSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."

config="${1:-normal}"
case "$config" in
    normal) sanitizer=""; bench=ON ;;
    asan) sanitizer="address"; bench=OFF ;;
    tsan) sanitizer="thread"; bench=OFF ;;
    *) echo "unknown configuration '$config' (normal, asan, tsan)" >&2; exit 2 ;;
esac

cmake -S . -B "build/$config" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZQB_SANITIZER="$sanitizer" \
    -DZQB_BUILD_BENCH="$bench" >/dev/null
cmake --build "build/$config" -j "$(nproc)"
