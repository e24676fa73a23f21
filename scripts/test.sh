#!/usr/bin/env bash
# The test command: installs what is missing, builds and runs every test,
# then builds again with AddressSanitizer + UndefinedBehaviorSanitizer and
# runs every test again, then runs the channel and end-to-end tests under
# ThreadSanitizer. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

run_build() {
    local dir=$1 label=$2
    shift 2
    echo "=== $dir: configure and build" >&2
    cmake -S . -B "$dir" -G Ninja -DZQ_BUILD_TESTS=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    echo "=== $dir: tests" >&2
    if [ -n "$label" ]; then
        ctest --test-dir "$dir" -j "$jobs" --no-tests=error -L "$label"
    else
        ctest --test-dir "$dir" -j "$jobs" --no-tests=error
    fi
}

run_build build/release "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_build build/asan "" -DCMAKE_BUILD_TYPE=Debug "-DZQ_SANITIZE=address,undefined"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    run_build build/tsan "channels|tasks|e2e" -DCMAKE_BUILD_TYPE=Debug -DZQ_SANITIZE=thread

echo "=== all tests passed" >&2
