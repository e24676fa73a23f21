#!/usr/bin/env bash
# Fuzzes every target of fuzz/ with libFuzzer, SECONDS each (default 60), one
# after the other, and prints executions and coverage per target.
#
#   scripts/fuzz.sh [SECONDS]
#
# The targets are built with clang, AddressSanitizer, UndefinedBehaviorSanitizer
# and coverage in build/fuzz-clang. Each run starts from the committed seeds
# (fuzz/corpus/<target>) and regression inputs (fuzz/regressions/<target>)
# and from what earlier runs found, which stays in build/fuzz-clang/corpus
# and never enters the tree. An input that fails is left in
# build/fuzz-clang/crashes/<target>/; minimise it with
#   build/fuzz-clang/fuzz/<target> -minimize_crash=1 -runs=20000 <input>
# and, once understood, commit the smallest one to fuzz/regressions/<target>/
# so the test command replays it. Exits non-zero when any target failed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "usage: scripts/fuzz.sh [SECONDS]" >&2
    exit 2
fi

scripts/setup.sh

dir=build/fuzz-clang
targets=(fuzz_arch_file fuzz_record_decoders fuzz_frames fuzz_settings
         fuzz_read_task fuzz_monitor_task fuzz_write_tasks)

# Warnings of other compilers than the project's own are not errors here.
echo "=== $dir: configure and build (clang)" >&2
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
    -DZQ_SANITIZE=address,undefined -DZQ_FUZZ_ENGINE=ON -DZQ_BUILD_TESTS=OFF \
    -DZQ_WERROR=OFF >/dev/null
cmake --build "$dir" -j 2 --target "${targets[@]}"

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p "$dir/logs"
summary=()
failed=0
for t in "${targets[@]}"; do
    mkdir -p "$dir/corpus/$t" "$dir/crashes/$t"
    log="$dir/logs/$t.log"
    start="$dir/logs/$t.start"
    touch "$start"
    echo "=== $t: fuzzing for $seconds s (log $log)" >&2
    # New finds go to the first folder; libFuzzer stops at a missing one.
    inputs=("$dir/corpus/$t")
    for d in "fuzz/corpus/$t" "fuzz/regressions/$t"; do
        if [ -d "$d" ]; then
            inputs+=("$d")
        fi
    done
    status=0
    "$dir/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=30 \
        -rss_limit_mb=2048 -artifact_prefix="$dir/crashes/$t/" "${inputs[@]}" \
        >"$log" 2>&1 || status=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    # The last status line: "#<n> <event> cov: <edges> ft: <features> corp: <units>/<size> ..."
    last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
    crashes=$(find "$dir/crashes/$t" -type f -newer "$start" | wc -l)
    line=$(printf '%-22s %12s executions  cov %6s edges  ft %6s features  corpus %5s  failures %s' \
        "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$crashes")
    if [ "$status" -ne 0 ]; then
        failed=1
        line="$line  FAILED (exit $status, see $log)"
    fi
    echo "$line" >&2
    summary+=("$line")
done

echo "=== fuzzing summary ($seconds s per target)"
printf '%s\n' "${summary[@]}"
exit "$failed"
