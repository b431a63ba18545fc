#!/usr/bin/env bash
# Builds and runs the whole test suite twice: as shipped, with the consumer
# tier (readers and validators written by others, `ctest -L interop`), and
# again with AddressSanitizer and UndefinedBehaviorSanitizer; then fuzzes each
# fuzz target for 30 seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
# Printed last, whether the run passed or not.
trap 'echo "== Size of the suite against the code"; scripts/line_ratio.sh' EXIT

CMAKE_ARGS="-DEBOOKPACK_INTEROP=ON" scripts/setup.sh
jobs=$(nproc)

echo "== Test suite"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Test suite under AddressSanitizer and UndefinedBehaviorSanitizer"
BUILD_DIR=build-asan CMAKE_ARGS="-DEBOOKPACK_SANITIZE=ON -DEBOOKPACK_BENCH=OFF" scripts/setup.sh
# GLib and libvips keep process-wide caches that the leak checker would report.
# The fault driver kills fewer runs here: each one is several times slower.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 EBOOKPACK_FAULT_KILLS=20 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== Fuzzing, 30 s per target"
scripts/fuzz.sh 30
