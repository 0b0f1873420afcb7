#!/usr/bin/env bash
# Hosts built against the library as a studio installs it: the shared library of <build dir>, and a static one
# built here from the same sources inside the example host program's build (add_subdirectory). The example is
# built against each installed copy through the CMake package and through pkg-config (--static for the
# archive), and each one runs: it plays its session against its own loopback gateway and exits with 0 once
# the gateway has every event. With a toolchain file the hosts are built for another machine and run under
# the emulator given; with "" for the toolchain file, for this machine, and run as they are.
#   packaged-hosts.sh <build dir> <toolchain file or ""> <library source dir> <example dir> [emulator...]
set -euo pipefail

build_dir="$(realpath "$1")"
toolchain=()
[ -z "$2" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="$(realpath "$2")")
source_dir="$(realpath "$3")"
example_dir="$(realpath "$4")"
shift 4
emulator=("$@")

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() {
    echo "$*" >&2
    exit 1
}

# The compiler, the target's pkg-config folders and the launcher, as the build has them.
cache() {
    sed -n "s/^$1:[A-Z]*=//p" "$build_dir/CMakeCache.txt"
}
# A compiler the toolchain file names is not in the cache: the compiler's own record in the build has it.
compiler="$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$build_dir"/CMakeFiles/*/CMakeCXXCompiler.cmake |
    head -n 1)"
[ -n "$compiler" ] || fail "no C++ compiler recorded in $build_dir"
launcher=()
[ -z "$(cache CMAKE_CXX_COMPILER_LAUNCHER)" ] ||
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER="$(cache CMAKE_CXX_COMPILER_LAUNCHER)"
              -DCMAKE_C_COMPILER_LAUNCHER="$(cache CMAKE_CXX_COMPILER_LAUNCHER)")
triple="$("$compiler" -dumpmachine)"
target_pc="/usr/lib/$triple/pkgconfig:/usr/share/pkgconfig"

cmake --install "$build_dir" --prefix "$work/shared" >/dev/null
# The static library is built inside the example's build, taken with add_subdirectory, and installed from
# there: the library's install rules are the host build's.
cmake -S "$example_dir" -B "$work/static-subdirectory" "${toolchain[@]}" \
    -DCMAKE_BUILD_TYPE=Release -DZQB_SOURCE_DIR="$source_dir" -DBUILD_SHARED_LIBS=OFF "${launcher[@]}" \
    >"$work/static.log" 2>&1 || { cat "$work/static.log"; exit 1; }
cmake --build "$work/static-subdirectory" -j "${ZQB_JOBS:-$(nproc)}" >>"$work/static.log" 2>&1 ||
    { cat "$work/static.log"; exit 1; }
cmake --install "$work/static-subdirectory" --prefix "$work/static" >/dev/null
[ -f "$work/static/lib/libZQBAnalytics.a" ] || fail "the static build installed no archive"
[ -z "$(find "$work/static" -name 'libZQBAnalytics.so*')" ] || fail "the static build installed a shared library"

# Whether the program loads the shared library: it names it among the libraries it needs.
needs_library() {
    readelf -d "$1" | grep -q 'NEEDED.*libZQBAnalytics'
}

run() {
    "${emulator[@]}" "$1" >"$work/run.log" 2>&1 ||
        { cat "$work/run.log"; fail "$1 failed${emulator[*]:+ under ${emulator[*]}}"; }
}

for kind in shared static; do
    prefix="$work/$kind"
    cmake -S "$example_dir" -B "$work/$kind-package" "${toolchain[@]}" \
        -DCMAKE_PREFIX_PATH="$prefix" "${launcher[@]}" >"$work/configure.log" 2>&1 ||
        { cat "$work/configure.log"; exit 1; }
    cmake --build "$work/$kind-package" >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }

    static=()
    [ "$kind" = static ] && static=(--static)
    # shellcheck disable=SC2046
    "$compiler" -std=c++20 -Wall -Wextra "$example_dir/main.cpp" -o "$work/$kind-pkg-config" \
        $(PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig:$target_pc" PKG_CONFIG_PATH="" \
          pkg-config "${static[@]}" --cflags --libs ZQBAnalytics cpp-httplib nlohmann_json) -pthread \
        -Wl,-rpath,"$prefix/lib"

    hosts=("$work/$kind-package/zqb_host_demo" "$work/$kind-pkg-config")
    [ "$kind" = shared ] || hosts+=("$work/static-subdirectory/zqb_host_demo")
    for host in "${hosts[@]}"; do
        if [ "$kind" = shared ]; then
            needs_library "$host" || fail "$host does not load the shared library"
        else
            ! needs_library "$host" || fail "$host loads a shared library instead of the archive"
        fi
        run "$host"
        echo "$kind host (${host#"$work"/}) on $triple${emulator[0]:+ under ${emulator[0]##*/}}: delivered its events"
    done
done
