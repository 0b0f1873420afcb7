#!/usr/bin/env bash
# Configures and builds one configuration into build/<name>: normal, asan (Address+UndefinedBehavior
# sanitizers), tsan (ThreadSanitizer) or aarch64 (the normal build cross-compiled for 64-bit ARM Linux with
# cmake/toolchains/aarch64-linux-gnu.cmake; its tests run under qemu-aarch64). Compiles through ccache when it is installed (its cache lives outside
# the clone, in CCACHE_DIR or ~/.cache/ccache). ZQB_JOBS caps the parallel compiles (default: one per core).
set -euo pipefail
cd "$(dirname "$0")/.."

config="${1:-normal}"
# The sanitizer builds exist to run the tests: -O1 with line tables only compiles in about half the time of the
# release flags and still gives stack traces with file and line; the benchmarks and the demo are left out. The
# normal build keeps the release optimisation, which the benchmarks and the kill test's window measure, with
# line tables only as well: full debug information took a third of its compile time.
case "$config" in
    normal) sanitizer=""; extras=ON; flags="-O2 -g1 -DNDEBUG" ;;
    asan) sanitizer="address"; extras=OFF; flags="-O1 -g1 -DNDEBUG" ;;
    tsan) sanitizer="thread"; extras=OFF; flags="-O1 -g1 -DNDEBUG" ;;
    aarch64) sanitizer=""; extras=OFF; flags="-O2 -g1 -DNDEBUG" ;;
    *) echo "unknown configuration '$config' (normal, asan, tsan, aarch64)" >&2; exit 2 ;;
esac
toolchain=()
if [ "$config" = aarch64 ]; then
    toolchain=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/aarch64-linux-gnu.cmake")
fi

launcher=()
if command -v ccache >/dev/null; then
    # The tests compile against a precompiled header, which ccache caches only when told that the header's
    # macros and time stamps may be left out of the hash.
    export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}"
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "build/$config" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$flags" \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="$flags" -DZQB_SANITIZER="$sanitizer" -DZQB_BUILD_BENCH="$extras" \
    -DZQB_BUILD_EXAMPLES="$extras" "${launcher[@]}" "${toolchain[@]}" \
    >/dev/null
cmake --build "build/$config" -j "${ZQB_JOBS:-$(nproc)}"
