#!/usr/bin/env bash
# Configures a C++17 host project, and the example host program, each taking the library's source tree with
# add_subdirectory (the host project checks that only the library is built then; neither may configure the
# test suite's GoogleTest), and compiles each one's source against the library's target. The library itself
# is not compiled a second time here: the installed-host test links and runs both.
#   subproject-host.sh <library source dir> <host project dir> <host source> <compiler> <example dir>
set -euo pipefail

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A build that looked for GoogleTest has its folder in the cache, found or not.
without_googletest() {
    if grep -q '^GTest_DIR' "$1/CMakeCache.txt"; then
        echo "the build in $1 configured GoogleTest" >&2
        exit 1
    fi
}

host="$work/host"
cmake -G "Unix Makefiles" -S "$2" -B "$host" -DZQB_SOURCE_DIR="$1" -DZQB_HOST_SOURCE="$3" \
    -DCMAKE_CXX_COMPILER="$4" >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
without_googletest "$host"
# The object's own rule, which does not build the targets the host links first.
make -C "$host" host.cpp.o >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
grep -q -- "-std=c++17" "$host/CMakeFiles/host.dir/flags.make" || {
    cat "$host/CMakeFiles/host.dir/flags.make"
    echo "the host is not compiled as C++17" >&2
    exit 1
}
echo "add_subdirectory host: configured with only the library, host compiled as C++17"

example="$work/example"
cmake -G "Unix Makefiles" -S "$5" -B "$example" -DZQB_SOURCE_DIR="$1" -DCMAKE_CXX_COMPILER="$4" \
    >"$work/example-configure.log" 2>&1 || { cat "$work/example-configure.log"; exit 1; }
without_googletest "$example"
make -C "$example" main.cpp.o >"$work/example-build.log" 2>&1 || { cat "$work/example-build.log"; exit 1; }
echo "add_subdirectory example: configured without the test suite, compiled"
