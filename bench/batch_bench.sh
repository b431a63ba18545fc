#!/bin/sh
# Batch benchmark: BOOKS copies of examples/epub-book (asset list filled in),
# packaged by `ebookpack batch` with one worker and with two, alternately, in
# the same run. Prints the median time of each and the speed-up (target: at
# least 1.7 on two free cores), with the load average: on a machine busy with
# other work the second worker has no free core to run on.
#
#   BUILD_DIR  build folder holding ebookpack (default: build)
#   BENCH_DIR  where the books and the packages go (default: $TMPDIR/batch-bench)
#   BOOKS      number of books (default: 20)
#   RUNS       runs of each worker count (default: 5)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/batch-bench}
books=${BOOKS:-20}
runs=${RUNS:-5}

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target ebookpack >/dev/null

rm -rf "$work"
mkdir -p "$work/exports"
jobs=$work/jobs.txt
: >"$jobs"
i=1
while [ "$i" -le "$books" ]; do
    book=$work/exports/book-$i
    cp -R "$root/examples/epub-book" "$book"
    sed "s|@EXPORT@|$book|g" "$book/AssetList.xml.in" >"$book/AssetList.xml"
    rm "$book/AssetList.xml.in"
    # One folder per book: the packages' folders are not shared between jobs.
    echo "epub \"$book\" \"$work/out/$i/Book\"" >>"$jobs"
    i=$((i + 1))
done
find "$work/exports" -type f -exec cat {} + >/dev/null  # warm the page cache

now() { date +%s.%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Times one batch with $1 workers, appending the seconds to $2.
time_batch() {
    rm -rf "$work/out"
    start=$(now)
    "$build/ebookpack" batch "$jobs" --jobs "$1" >"$work/batch.log" || {
        cat "$work/batch.log" >&2
        exit 1
    }
    end=$(now)
    awk -v s="$start" -v e="$end" 'BEGIN { print e - s }' >>"$2"
}

: >"$work/one.times"
: >"$work/two.times"
i=0
while [ "$i" -lt "$runs" ]; do
    time_batch 1 "$work/one.times"
    time_batch 2 "$work/two.times"
    i=$((i + 1))
done

one=$(median <"$work/one.times")
two=$(median <"$work/two.times")
printf '%s books, %s cores, load average %s\n--jobs 1: %.3f s\n--jobs 2: %.3f s\nspeed-up: %s (target 1.7)\n' \
    "$books" "$(nproc)" "$(cut -d' ' -f1-3 /proc/loadavg)" "$one" "$two" "$(awk -v a="$one" -v b="$two" 'BEGIN { printf "%.2f", a / b }')"
rm -rf "$work"
