#!/bin/sh
# ePub packaging benchmark: a generated export of 500 pages and 600 images of
# 300 KB (182 MB; SCALE times as many of each), packaged by `ebookpack epub`
# and, for comparison, by the plain
# pipeline `cp -r EXPORT X && (cd X && zip -qrD0X out.epub .)`. Prints both
# times (the median of RUNS runs, page cache warm), their ratio and the
# packager's peak memory.
#
#   BUILD_DIR  build folder holding ebookpack (default: build)
#   BENCH_DIR  where the export and the outputs go (default: $TMPDIR/epub-bench);
#              keep it on the same file system as $TMPDIR, as a host's export is
#   RUNS       runs of each command (default: 3)
#   SCALE      size of the book in multiples of the one above (default: 1;
#              10 makes 1.8 GB)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/epub-bench}
runs=${RUNS:-3}
scale=${SCALE:-1}

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target ebookpack >/dev/null

export_folder=$work/export-x$scale
if [ ! -f "$export_folder/.complete" ]; then
    rm -rf "$export_folder"
    python3 "$root/bench/make_epub_export.py" "$export_folder" --pages $((500 * scale)) --images $((600 * scale))
    touch "$export_folder/.complete"
fi
echo "export: $(du -sm "$export_folder" | cut -f1) MB, $(find "$export_folder" -type f | wc -l) files"
find "$export_folder" -type f -exec cat {} + >/dev/null  # warm the page cache for both sides

now() { date +%s.%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

baseline_times=$work/baseline.times
packager_times=$work/packager.times
memory=$work/packager.memory
: >"$baseline_times"
: >"$packager_times"
: >"$memory"
i=0
while [ "$i" -lt "$runs" ]; do
    rm -rf "$work/X" "$work/Book.epub"
    sync
    start=$(now)
    cp -r "$export_folder" "$work/X" && (cd "$work/X" && zip -qrD0X out.epub .)
    end=$(now)
    awk -v s="$start" -v e="$end" 'BEGIN { print e - s }' >>"$baseline_times"
    rm -rf "$work/X"
    sync

    start=$(now)
    /usr/bin/time -f %M -o "$work/time.out" "$build/ebookpack" epub "$export_folder" "$work/Book" >/dev/null
    end=$(now)
    awk -v s="$start" -v e="$end" 'BEGIN { print e - s }' >>"$packager_times"
    cat "$work/time.out" >>"$memory"
    i=$((i + 1))
done

baseline=$(median <"$baseline_times")
packager=$(median <"$packager_times")
peak_kb=$(sort -n "$memory" | tail -1)
ratio=$(awk -v a="$packager" -v b="$baseline" 'BEGIN { printf "%.2f", a / b }')
peak_mb=$(awk -v k="$peak_kb" 'BEGIN { printf "%.1f", k / 1024 }')
echo "book: $(du -m "$work/Book.epub" | cut -f1) MB, $(unzip -Z1 "$work/Book.epub" | wc -l) entries"
printf 'cp -r + zip -0: %.3f s\nebookpack epub: %.3f s\nratio:          %s (budget 0.4)\npeak memory:    %s MB (budget 64)\n' \
    "$baseline" "$packager" "$ratio" "$peak_mb"
rm -f "$work/Book.epub"
