#!/usr/bin/env bash
# Installs the built library into two prefixes, moves the first one elsewhere, and builds a one-file C++17
# host against each copy, once through pkg-config and once through the CMake package, then runs it: each
# copy must describe itself wherever it lies. (packaged-hosts.sh builds the example host program against the
# installed shared and static library, and plays its session.)
#   installed-host.sh <library build dir> <host project dir> <host source> <compiler>
set -euo pipefail

build_dir="$1"
host_project="$2"
host_source="$3"
compiler="$4"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() {
    echo "$*" >&2
    exit 1
}

cmake --install "$build_dir" --prefix "$work/first" >/dev/null
cmake --install "$build_dir" --prefix "$work/second/opt/zqb" >/dev/null
mv "$work/first" "$work/moved"

# The path of the library the host loads, as the dynamic loader resolves it.
loaded_library() {
    ldd "$1" | awk '/libZQBAnalytics/ { print $3 }'
}

for prefix in "$work/moved" "$work/second/opt/zqb"; do
    pc_file="$(find "$prefix" -name ZQBAnalytics.pc)"
    [ -n "$pc_file" ] || fail "no ZQBAnalytics.pc under $prefix"
    export PKG_CONFIG_PATH="$(dirname "$pc_file")"
    includedir="$(realpath "$(pkg-config --variable=includedir ZQBAnalytics)")"
    libdir="$(realpath "$(pkg-config --variable=libdir ZQBAnalytics)")"
    [ "$includedir" = "$(realpath "$prefix/include")" ] || fail "pkg-config names the headers at $includedir"
    [ "${libdir#"$prefix"/}" != "$libdir" ] || fail "pkg-config names the library at $libdir"

    # shellcheck disable=SC2046
    "$compiler" -std=c++17 -Wall -Wextra -Wpedantic -Wconversion -Wshadow -Werror "$host_source" \
        $(pkg-config --cflags --libs ZQBAnalytics) -Wl,-rpath,"$libdir" -o "$prefix/host"
    [ "$(loaded_library "$prefix/host")" = "$libdir/libZQBAnalytics.so.2" ] ||
        fail "the host built with pkg-config loads $(loaded_library "$prefix/host")"
    "$prefix/host" >/dev/null || fail "the host built with pkg-config against $prefix failed"
    echo "pkg-config host against $prefix: ran"
done

unset PKG_CONFIG_PATH
prefix="$work/moved"
cmake -S "$host_project" -B "$work/package-host" -DCMAKE_PREFIX_PATH="$prefix" \
    -DZQB_HOST_SOURCE="$host_source" -DCMAKE_CXX_COMPILER="$compiler" >/dev/null
cmake --build "$work/package-host" >/dev/null
[ "$(dirname "$(loaded_library "$work/package-host/host")")" = "$(realpath "$prefix")/lib" ] ||
    fail "the host built with find_package loads $(loaded_library "$work/package-host/host")"
"$work/package-host/host" >/dev/null || fail "the host built with find_package failed"
echo "find_package host against $prefix: ran"

