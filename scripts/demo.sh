#!/usr/bin/env bash
# Sets up a fresh machine, builds and installs the library into build/stage, builds the demo host program
# against the installed package (find_package(ZQBAnalytics)) and runs it. Arguments go to the demo. ZQB_JOBS
# caps the parallel compiles, as in build.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/normal -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/normal -j "${ZQB_JOBS:-$(nproc)}" --target ZQBAnalytics
cmake --install build/normal --prefix "$PWD/build/stage" >/dev/null
cmake -S examples/host_demo -B build/demo -DCMAKE_PREFIX_PATH="$PWD/build/stage" >/dev/null
cmake --build build/demo -j "${ZQB_JOBS:-$(nproc)}"
LD_LIBRARY_PATH="$PWD/build/stage/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" build/demo/zqb_host_demo "$@"
