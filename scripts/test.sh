#!/usr/bin/env bash
# Sets up a fresh machine and runs the whole test suite four times: a normal build, AddressSanitizer with
# UndefinedBehaviorSanitizer, ThreadSanitizer, and the normal build cross-compiled for 64-bit ARM ("aarch64")
# run under qemu's user-mode emulator, which then also builds hosts against the installed shared and static
# library and runs them; then runs the fuzz targets for a bounded time ("fuzz", see scripts/fuzz.sh). Pass
# configuration names to run only those.
#
# Most tests wait on timers and sockets rather than the processor, so each configuration's tests run while
# the next configuration compiles; their output is printed once they are done. The kill tests measure how
# long events take to reach the file, so they run afterwards, once nothing compiles.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# A folder includes only its own and lower folders' headers, which the build enforces through include roots; an
# include relative to the including file would go round them.
if grep -rn --include='*.hpp' --include='*.cpp' '#include "\.\./' src; then
    echo "src/: includes through \"../\" go round the folders' order; include from the folder's name" >&2
    exit 1
fi

configs=("$@")
[ ${#configs[@]} -eq 0 ] && configs=(normal asan tsan aarch64 fuzz)
for config in "${configs[@]}"; do
    [ "$config" != aarch64 ] || scripts/install-deps.sh aarch64
done

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

# ThreadSanitizer's shadow memory needs a fixed address layout on kernels with wide address randomisation.
run_ctest() {
    local config="$1"
    shift
    local runner=()
    if [ "$config" = tsan ] && command -v setarch >/dev/null; then
        runner=(setarch "$(uname -m)" -R)
    fi
    # ctest keeps the last -E only: the tests left out under emulation join the caller's.
    local selection=("$@")
    if [ "$config" = aarch64 ]; then
        if [ "${1:-}" = -E ]; then
            selection=(-E "$2|$aarch64_left_out" "${@:3}")
        else
            selection=(-E "$aarch64_left_out" "$@")
        fi
    fi
    "${runner[@]}" ctest --test-dir "build/$config" -j "$(nproc)" --output-on-failure --timeout 300 \
        "${selection[@]}"
}

# The tests whose timing cannot hold under emulation, where an instruction costs ten or more of the build
# machine's, each with its reason:
aarch64_left_out_tests=(
    # Its readers announce an object and read the published pointer again, a store and then a load that
    # the processor must keep in that order (ARM does for a store-release before a load-acquire); the
    # emulator's translation of them on an x86 build machine lets the load pass the store, and the test
    # sees a reader use an object freed behind it.
    BorrowRegistry
)
aarch64_left_out="^($(IFS='|'; echo "${aarch64_left_out_tests[*]}"))\$"

# Hosts built for aarch64 against the installed shared and static library, run under the emulator against
# their loopback gateway.
cross_hosts() {
    tests/embedding/packaged-hosts.sh build/aarch64 cmake/toolchains/aarch64-linux-gnu.cmake . examples/host_demo \
        qemu-aarch64 -L /  # the arm64 packages' loader and C library, as the toolchain file says
}

running_config=""
running_pid=""
fuzz_build_pid=""
trap 'for pid in $running_pid $fuzz_build_pid; do kill "$pid" 2>/dev/null || true; done' EXIT

# Waits for the tests started in the background and prints what they wrote; stops the run if they failed.
finish_running() {
    [ -n "$running_pid" ] || return 0
    local status=0
    wait "$running_pid" || status=$?
    running_pid=""
    echo "=== $running_config: test"
    cat "build/$running_config/ctest.log"
    if [ "$status" -ne 0 ]; then
        echo "=== $running_config: tests failed" >&2
        exit "$status"
    fi
}

# The fuzz targets' build (clang, a fourth compile of the library) runs from the start at a lower priority, on
# half the cores: it takes the processor only where the other builds leave it idle (a build's last batches,
# its links, the tests of the previous configuration waiting on timers).
fuzz=false
for config in "${configs[@]}"; do
    if [ "$config" = fuzz ]; then
        fuzz=true
        mkdir -p build
        ZQB_JOBS="${ZQB_JOBS:-$(( ($(nproc) + 1) / 2 ))}" nice -n 10 scripts/fuzz.sh 0 >build/fuzz-build.log 2>&1 &
        fuzz_build_pid=$!
    fi
done

tested=()
for config in "${configs[@]}"; do
    [ "$config" = fuzz ] && continue
    echo "=== $config: build"
    scripts/build.sh "$config"
    finish_running
    running_config="$config"
    if [ "$config" = aarch64 ]; then
        { run_ctest "$config" -E '^durability\.' && cross_hosts; } >"build/$config/ctest.log" 2>&1 &
    else
        run_ctest "$config" -E '^durability\.' >"build/$config/ctest.log" 2>&1 &
    fi
    running_pid=$!
    tested+=("$config")
done
finish_running
if [ -n "$fuzz_build_pid" ]; then
    status=0
    wait "$fuzz_build_pid" || status=$?
    fuzz_build_pid=""
    echo "=== fuzz: build"
    tail -n 5 build/fuzz-build.log
    if [ "$status" -ne 0 ]; then
        cat build/fuzz-build.log
        echo "=== fuzz: build failed" >&2
        exit "$status"
    fi
fi

# The kill tests and the fuzzing share the machine once nothing compiles: each kill test uses a core or two,
# and the normal build's allows a second of grace for the library's 100 ms window (it measured 200 ms at
# worst on a machine loaded three times over).
side_names=()
side_pids=()
for config in "${tested[@]}"; do
    run_ctest "$config" -R '^durability\.' >"build/$config/kill-test.log" 2>&1 &
    side_names+=("$config: kill test")
    side_pids+=("$!")
done
if "$fuzz"; then
    mkdir -p build/fuzz
    scripts/fuzz.sh "${ZQB_FUZZ_SECONDS:-20}" >build/fuzz/run.log 2>&1 &
    side_names+=("fuzz")
    side_pids+=("$!")
fi
failed=0
for i in "${!side_names[@]}"; do
    status=0
    wait "${side_pids[$i]}" || status=$?
    name="${side_names[$i]}"
    echo "=== $name"
    if [ "$name" = fuzz ]; then cat build/fuzz/run.log; else cat "build/${name%%:*}/kill-test.log"; fi
    if [ "$status" -ne 0 ]; then
        echo "=== $name failed" >&2
        failed="$status"
    fi
done
[ "$failed" -eq 0 ] || exit "$failed"
echo "=== all test runs passed: ${configs[*]}"
