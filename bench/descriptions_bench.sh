#!/bin/sh
# Enhanced-content descriptions benchmark: collectAssets over 2000, 5000 and
# 20000 assets of all four kinds spread over 200 pages (descriptions_bench).
# Prints the time of each size and the growth from 2000 to 20000 assets, which
# is 10 when the time grows linearly; the budget for 20000 assets is 2 s.
#
#   BUILD_DIR  build folder (default: build)
#   BENCH_DIR  where the exports and workspaces go (default: $TMPDIR/descriptions-bench)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/descriptions-bench}

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target descriptions_bench >/dev/null
mkdir -p "$work"
TMPDIR="$work" "$build/bench/descriptions_bench" --benchmark_format=csv 2>/dev/null |
    awk -F, '/^"describeAssets\// {
                 split($1, name, "/"); ms[name[2]] = $3
                 printf "%6d assets: %8.0f ms\n", name[2], $3
             }
             END {
                 printf "growth from 2000 to 20000 assets: %.1fx (linear: 10x)\n", ms[20000] / ms[2000]
                 printf "20000 assets: %.2f s (budget 2 s)\n", ms[20000] / 1000
             }'
rm -rf "$work"
