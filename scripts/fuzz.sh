#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each one
# for SECONDS (default 30): first over its kept crash inputs, then fuzzing from
# its seed corpus. Stops with a non-zero status at the first crash, leak,
# timeout or failed check; the input that caused it is left in the folder the
# message names.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
if ! command -v clang++ >/dev/null; then
    echo "clang++ is missing; run scripts/setup.sh as root first." >&2
    exit 1
fi

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEBOOKPACK_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build_dir"

# New corpus entries and crash inputs go here, never into the repository.
results=$(mktemp -d "${TMPDIR:-/tmp}/ebookpack-fuzz-results.XXXXXX")
export ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

status=0
for seeds in tests/fuzz/corpus/*/; do
    name=$(basename "$seeds")
    fuzzer="$build_dir/tests/fuzz/${name}_fuzzer"
    regressions="tests/fuzz/regressions/$name"
    log="$results/$name.log"
    mkdir -p "$results/$name"
    options=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1 -artifact_prefix="$results/$name-")
    [ "$name" != archive ] && options+=(-dict=tests/fuzz/xml.dict)

    if [ -d "$regressions" ] && ! "$fuzzer" "$regressions"/* >"$log" 2>&1; then
        echo "$name: a kept crash input fails again; see $log" >&2
        status=1
        break
    fi
    if ! "$fuzzer" "${options[@]}" "$results/$name" "$seeds" >"$log" 2>&1; then
        echo "$name: crash found; input and log in $results" >&2
        status=1
        break
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$name: $runs executions in ${seconds}s, no crash"
done

[ "$status" -eq 0 ] && rm -rf "$results"
exit "$status"
