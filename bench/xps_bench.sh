#!/bin/sh
# XPS update benchmark. Two generated packages are updated by xps_bench (the
# library's XpsUtility) and, for comparison, by the same update made with the
# command-line tools step for step:
#   unzip -oq of the parts, vips jpegsave --Q 70 per TIFF one after another,
#   zip -dq of the old parts, zip -rD0q of the new ones.
# 1. "scanned": 40 pages, one 2500x3300 RGB TIFF each, deflated (budget: the
#    library at least 5x faster, peak memory under 400 MB);
# 2. the same with 200 pages (same budgets: memory must not grow with the book);
# 3. "large": 200 MB of stored JPEGs, no TIFF, ten files added (budget: at
#    least 5x faster).
# Prints the median of RUNS runs of each side (page cache warm, each run on a
# fresh copy, the copy not timed), their ratio and the library's peak memory.
#
#   BUILD_DIR  build folder (default: build)
#   BENCH_DIR  where the inputs and the copies go (default: $TMPDIR/xps-bench)
#   RUNS       runs of each side (default: 3)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/xps-bench}
runs=${RUNS:-3}

[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target xps_bench >/dev/null
mkdir -p "$work/tmp"

generate() {  # kind file [make_xps.py options]
    kind=$1 file=$2
    shift 2
    if [ ! -f "$work/$file.complete" ]; then
        python3 "$root/bench/make_xps.py" "$kind" "$work/$file" "$@"
        touch "$work/$file.complete"
    fi
}
generate scanned scanned.xps
generate scanned scanned-200.xps --pages 200
generate large large.xps
generate files files

now() { date +%s.%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
elapsed() { awk -v s="$1" -v e="$2" 'BEGIN { print e - s }'; }

# The update with the tools. $1: the package, $2: files to add below
# Documents/1/Other/KNFB (or nothing).
tools() {
    stage=$work/stage
    rm -rf "$stage"
    # unzip exits 11 when a pattern matches nothing (no Documents/1/Pages/ here is fine).
    unzip -oq "$1" '\[Content_Types\].xml' 'Resources/*' 'Documents/1/Pages/*' -d "$stage" || [ $? -eq 11 ]
    for tiff in "$stage"/Resources/*.tif; do
        [ -f "$tiff" ] || continue
        vips jpegsave "$tiff" "${tiff%.tif}.jpg" --Q 70
        rm "$tiff"
    done
    if [ -n "$2" ]; then
        mkdir -p "$stage/Documents/1/Other/KNFB"
        cp "$2"/* "$stage/Documents/1/Other/KNFB/"
    fi
    zip -dq "$1" '\[Content_Types\].xml' 'Resources/*' 'Documents/1/Pages/*'
    (cd "$stage" && zip -rD0q "$1" '[Content_Types].xml' Resources Documents)
}

# xps_bench's arguments handing in the files of $1.
handed_in() {
    [ -n "$1" ] || return 0
    for file in "$1"/*; do printf '%s ' "Documents/1/Other/KNFB/$(basename "$file")=$file"; done
}

compare() {  # name package files budget
    name=$1 package=$work/$2 files=$3 budget=$4
    cat "$package" >/dev/null  # warm the page cache for both sides
    : >"$work/tools.times"
    : >"$work/library.times"
    : >"$work/library.memory"
    i=0
    while [ "$i" -lt "$runs" ]; do
        cp "$package" "$work/copy.xps"
        start=$(now)
        tools "$work/copy.xps" "$files"
        elapsed "$start" "$(now)" >>"$work/tools.times"

        cp "$package" "$work/copy.xps"
        rm -rf "$work/tmp/BlioTemp"
        start=$(now)
        # shellcheck disable=SC2046 # one argument per file handed in
        TMPDIR=$work/tmp /usr/bin/time -f %M -o "$work/time.out" "$build/bench/xps_bench" "$work/copy.xps" $(handed_in "$files")
        elapsed "$start" "$(now)" >>"$work/library.times"
        cat "$work/time.out" >>"$work/library.memory"
        i=$((i + 1))
    done
    tools_time=$(median <"$work/tools.times")
    library_time=$(median <"$work/library.times")
    peak_mb=$(sort -n "$work/library.memory" | tail -1 | awk '{ printf "%.1f", $1 / 1024 }')
    ratio=$(awk -v t="$tools_time" -v l="$library_time" 'BEGIN { printf "%.2f", t / l }')
    echo "$name: $(du -m "$package" | cut -f1) MB in, $(du -m "$work/copy.xps" | cut -f1) MB out"
    printf '  tools:       %.3f s\n  xps_bench:   %.3f s\n  speed-up:    %sx (budget %s)\n  peak memory: %s MB\n' \
        "$tools_time" "$library_time" "$ratio" "$budget" "$peak_mb"
}

compare "40 scanned pages" scanned.xps "" 5
compare "200 scanned pages" scanned-200.xps "" 5
compare "200 MB, no TIFF, 10 files added" large.xps "$work/files" 5
rm -rf "$work/copy.xps" "$work/stage" "$work/tmp/BlioTemp"
