#!/usr/bin/env bash
# Configures a C++17 host project that takes the library's source tree with add_subdirectory (the project
# checks that only the library is built then) and compiles the host's source against the library's target.
# The library itself is not compiled a second time here: the installed-host test links and runs a host.
#   subproject-host.sh <library source dir> <host project dir> <host source> <compiler>
set -euo pipefail

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cmake -G "Unix Makefiles" -S "$2" -B "$work" -DZQB_SOURCE_DIR="$1" -DZQB_HOST_SOURCE="$3" \
    -DCMAKE_CXX_COMPILER="$4" >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
# The object's own rule, which does not build the targets the host links first.
make -C "$work" host.cpp.o >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
grep -q -- "-std=c++17" "$work/CMakeFiles/host.dir/flags.make" || {
    cat "$work/CMakeFiles/host.dir/flags.make"
    echo "the host is not compiled as C++17" >&2
    exit 1
}
echo "add_subdirectory host: configured with only the library, host compiled as C++17"
