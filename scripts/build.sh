#!/usr/bin/env bash
# Configures and builds one configuration into build/<name>: normal, asan (Address+UndefinedBehavior
# sanitizers) or tsan (ThreadSanitizer). Compiles through ccache when it is installed (its cache lives outside
# the clone, in CCACHE_DIR or ~/.cache/ccache). ZQB_JOBS caps the parallel compiles (default: one per core).
set -euo pipefail
cd "$(dirname "$0")/.."

config="${1:-normal}"
case "$config" in
    normal) sanitizer=""; bench=ON ;;
    asan) sanitizer="address"; bench=OFF ;;
    tsan) sanitizer="thread"; bench=OFF ;;
    *) echo "unknown configuration '$config' (normal, asan, tsan)" >&2; exit 2 ;;
esac

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "build/$config" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZQB_SANITIZER="$sanitizer" \
    -DZQB_BUILD_BENCH="$bench" "${launcher[@]}" >/dev/null
cmake --build "build/$config" -j "${ZQB_JOBS:-$(nproc)}"
