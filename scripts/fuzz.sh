#!/usr/bin/env bash
# Builds the libFuzzer programs with clang (AddressSanitizer and UndefinedBehaviorSanitizer) in
# build-fuzz/ and runs each one for a while, starting from its seed corpus and the inputs that
# once found faults. A crash, sanitizer report, leak, input slower than a second or allocation
# beyond the limits below fails the run; the input that did it is left in
# build-fuzz/artifacts/NAME/.
#
#   scripts/fuzz.sh [SECONDS] [NAME...]     # default: 60 seconds each, every harness
#   FUZZ_RUNS=N scripts/fuzz.sh 0 sdm       # N executions instead of a time
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
harnesses=("$@")
if ((${#harnesses[@]} == 0)); then
    harnesses=(sdm mdm fmr fmr_stc tasks)
fi

bash scripts/install-deps.sh
source scripts/build-environment.sh

echo "fuzz: configuring and building in build-fuzz/ (preset fuzz)"
cmake --preset fuzz -DQUELMAR_WERROR="$werror" >/dev/null
cmake --build --preset fuzz --parallel "$(nproc)"

build="$PWD/build-fuzz"
# Every input becomes a file: in memory (tmpfs) that costs a fraction of a disk's time.
scratch="$build/tmp"
if [[ -d /dev/shm && -w /dev/shm ]]; then
    scratch="/dev/shm/quelmar-fuzz-$$"
fi
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT
export TMPDIR="$scratch"
# A smaller quarantine for freed memory keeps a long run under the RSS limit.
export ASAN_OPTIONS="detect_leaks=1:quarantine_size_mb=64:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:${UBSAN_OPTIONS:-}"

passed=0
failed=0
for name in "${harnesses[@]}"; do
    program="$build/fuzz/fuzz_$name"
    [[ "$name" == tasks ]] && program="$build/fuzz/tasks/Halvorn.exe"
    # New inputs go into the first folder, outside the repository; the seeds are only read.
    inputs=("$build/corpus/$name" "fuzz/corpus/$name")
    [[ -d "fuzz/regressions/$name" ]] && inputs+=("fuzz/regressions/$name")
    mkdir -p "$build/corpus/$name" "$build/artifacts/$name"
    if [[ -n "${FUZZ_RUNS:-}" ]]; then
        limit=(-runs="$FUZZ_RUNS")
        echo "fuzz: $name for $FUZZ_RUNS executions"
    else
        limit=(-max_total_time="$seconds")
        echo "fuzz: $name for $seconds seconds"
    fi
    log="$build/artifacts/$name/last-run.log"
    if "$program" "${inputs[@]}" "${limit[@]}" -rss_limit_mb=512 -malloc_limit_mb=256 -timeout=1 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$name/" >"$log" 2>&1; then
        executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
        echo "fuzz: $name: $executions executions, no fault"
        passed=$((passed + 1))
    else
        echo "fuzz: $name FAILED; the end of its log ($log):"
        tail -n 40 "$log"
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
((failed == 0))
