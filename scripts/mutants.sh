#!/usr/bin/env bash
# Measures the test suite's power: applies a seeded sample of small faults to
# src/ one at a time, in a scratch copy of revision REV (default HEAD), and
# prints how many the suite catches (see scripts/mutants.py).
#
#   scripts/mutants.sh [REV] [mutants.py run options: --count N --seed S --jobs J]
#
# Results go to mutants-REV.tsv in the current folder; compare two runs with
#   python3 scripts/mutants.py compare OLD.tsv NEW.tsv
# Each mutant costs an incremental build and a suite run: 150 take hours.
set -euo pipefail
repository=$(cd "$(dirname "$0")/.." && pwd)
revision=${1:-HEAD}
[ $# -gt 0 ] && shift
results=$PWD/mutants-$(git -C "$repository" rev-parse --short "$revision").tsv

scratch=$(mktemp -d "${TMPDIR:-/tmp}/ebookpack-mutants.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/tree"
git -C "$repository" archive "$revision" | tar -x -C "$scratch/tree"
# The tests find the corpus beside the repository.
ln -s "$(cd "$repository/.." && pwd)/shared" "$scratch/shared"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$scratch/tree" -B "$scratch/tree/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DEBOOKPACK_BENCH=OFF "${launcher[@]}" >/dev/null
python3 "$repository/scripts/mutants.py" run "$scratch/tree" "$results" "$@"
echo "results: $results"
