#!/usr/bin/env bash
# The test command: installs what is missing, builds and runs every test,
# then builds the test programs again with AddressSanitizer +
# UndefinedBehaviorSanitizer and runs every test but the install test and
# the rounds on PostgreSQL again,
# then builds the programs of the channel, task and end-to-end tests with
# ThreadSanitizer and runs those. Prints the time each stage took. Exits
# non-zero when anything fails.
#
# The fleet's database tests run on an SQLite file and, as the ctest entry
# fleet_postgres, on a PostgreSQL 15 cluster that pg_virtualenv
# (postgresql-common, installed by setup.sh with the server) makes for that
# one run, on a free port, and drops after it (tests/pg_throwaway.sh): nothing
# to start beforehand, as root (CI) or as any user.
#
# Each tree builds only what its tests run; ccache (its cache where the user's
# ccache keeps it, ~/.cache/ccache, shared by every checkout of this tree)
# makes a repeated run, or a run in a fresh checkout, compile only what
# changed, and mold links when it is installed. A cold cache builds
# everything, as CI does.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1
# Paths relative to the checkout, and the working folder left out of the
# hash, so that another checkout's objects serve this one.
export CCACHE_BASEDIR=$PWD
export CCACHE_NOHASHDIR=1
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

started=$(date +%s)
stages=()
stage() {
    local name=$1 from took
    shift
    from=$(date +%s)
    echo "=== $name" >&2
    "$@"
    took=$(($(date +%s) - from))
    stages+=("$(printf '%-44s %4d s' "$name" "$took")")
    echo "=== $name: $took s" >&2
}

configure() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DZQ_BUILD_TESTS=ON "${launcher[@]}" "$@" >/dev/null
}

# ctest over `dir` with `parallel` tests at once, for the labels given (a
# regex), or all but the excluded. Most of the end-to-end tests' time is
# spent waiting out a device's time-outs, so twice as many tests as cores
# keep the cores busy where the sanitizers' own cost allows it.
run_tests() {
    local dir=$1 parallel=$2
    shift 2
    ctest --test-dir "$dir" -j "$parallel" --no-tests=error "$@"
}

# Release: everything is built (the benchmarks and the package's tree
# included) and every test runs.
# Line tables are enough for a backtrace, and much quicker to build and link
# than full debug information.
stage "release: configure" configure build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
stage "release: build" cmake --build build/release -j "$jobs"
stage "release: tests" run_tests build/release $((2 * jobs))

# The sanitizer trees need line numbers for their reports, not full debug
# information (which makes the many test programs slow to link).
sanitizer_flags=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O0 -g1")

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
stage "asan+ubsan: configure" configure build/asan "${sanitizer_flags[@]}" \
    "-DZQ_SANITIZE=address,undefined"
stage "asan+ubsan: build the test programs" cmake --build build/asan -j "$jobs" --target zq_tests
# The rounds on PostgreSQL run once, in the release tree: what differs from
# SQLite there is the engine's SQL, not this program's memory.
stage "asan+ubsan: tests" run_tests build/asan $((2 * jobs)) -LE install -E '^fleet_round_postgres$'
unset ASAN_OPTIONS UBSAN_OPTIONS

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
stage "tsan: configure" configure build/tsan "${sanitizer_flags[@]}" -DZQ_SANITIZE=thread
stage "tsan: build the channel, task and e2e tests" cmake --build build/tsan -j "$jobs" \
    --target zq_tests_channels zq_tests_tasks zq_tests_e2e
stage "tsan: tests" run_tests build/tsan "$jobs" -L "channels|tasks|e2e"
unset TSAN_OPTIONS

echo "=== stages:" >&2
for s in "${stages[@]}"; do
    echo "    $s" >&2
done
echo "=== all tests passed in $(($(date +%s) - started)) s" >&2
