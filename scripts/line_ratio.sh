#!/usr/bin/env bash
# Prints the ratio of test lines to code lines: the suite is meant to stay
# about a third the size of the code it guards. Counted: tests/ (test
# programs and their helpers, not data, expected outputs, fuzz inputs or
# installed npm packages) against src/, include/ and cli/.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {  # folders...
    git ls-files -- "$@" | grep -E '\.(c|cpp|h|java|mjs|sh|txt)$' | grep -v -E '/(corpus|regressions|expected)/' |
        tr '\n' '\0' | xargs -0 cat | wc -l
}
tests=$(count tests)
code=$(count src include cli)
awk -v t="$tests" -v c="$code" \
    'BEGIN { printf "test lines %d / code lines %d = %.2f (target at most 0.40)\n", t, c, t / c }'
