#!/bin/sh
# Blio packaging benchmark: an export with a 40-page scanned XPS (one
# 2500x3300 RGB TIFF per page, deflated; made by make_xps.py) and 40 assets
# (20 slideshows of 5 images, 10 videos of 20 MB, 10 web links), packaged by
# `ebookpack blio`. The yardstick, measured in the same run: the in-process XPS
# update of the same file (xps_bench) plus `cp -r` of the asset files. Prints
# the median of RUNS runs of each side (page cache warm, each run on a fresh
# copy of the XPS, the copy not timed) and their ratio; the budget is 1.3.
#
#   BUILD_DIR  build folder (default: build)
#   BENCH_DIR  where the export, the copies and the outputs go
#              (default: $TMPDIR/blio-bench)
#   RUNS       runs of each side (default: 3)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/blio-bench}
runs=${RUNS:-3}

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target ebookpack xps_bench >/dev/null
mkdir -p "$work/tmp"
export TMPDIR="$work/tmp"

if [ ! -f "$work/.complete" ]; then
    rm -rf "$work/export" "$work/assets"
    python3 "$root/bench/make_xps.py" scanned "$work/book.xps" --pages 40
    python3 "$root/bench/make_blio_export.py" "$work/export" "$work/assets"
    touch "$work/.complete"
fi
echo "export: $(du -sm "$work/book.xps" | cut -f1) MB XPS, $(du -sm "$work/assets" | cut -f1) MB of assets"
find "$work/book.xps" "$work/assets" -type f -exec cat {} + >/dev/null  # warm the page cache for both sides

now() { date +%s.%N; }
elapsed() { awk -v s="$1" -v e="$(now)" 'BEGIN { print e - s }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >"$work/baseline.times"
: >"$work/packager.times"
i=0
while [ "$i" -lt "$runs" ]; do
    rm -rf "$work/X" "$work/Book.xps"
    cp "$work/book.xps" "$work/baseline.xps"
    sync
    start=$(now)
    "$build/bench/xps_bench" "$work/baseline.xps"
    cp -r "$work/assets" "$work/X"
    elapsed "$start" >>"$work/baseline.times"
    rm -rf "$work/X" "$work/baseline.xps"

    cp "$work/book.xps" "$work/export/book.xps"
    sync
    start=$(now)
    "$build/ebookpack" blio "$work/export" "$work/Book" >/dev/null
    elapsed "$start" >>"$work/packager.times"
    i=$((i + 1))
done

baseline=$(median <"$work/baseline.times")
packager=$(median <"$work/packager.times")
echo "baseline (in-process XPS update + cp -r assets): ${baseline} s"
echo "ebookpack blio:                                  ${packager} s"
awk -v p="$packager" -v b="$baseline" 'BEGIN { printf "ratio: %.2f (budget 1.30)\n", p / b }'
