#!/bin/sh
# Runs each fuzzer for SECONDS (default 60) from tests/corpus and tests/corpus-create; a
# finding lands here as crash-*, leak-* or timeout-*. ctest replays the corpora.
#   tests/fuzz/run.sh BUILD_DIR [SECONDS]
set -eu

[ $# -ge 1 ] && [ -x "$1/tests/fuzz/apply_fuzz" ] && [ -x "$1/tests/fuzz/create_fuzz" ] ||
    { echo "usage: $0 BUILD_DIR [SECONDS] (built with -DZORVIK_FUZZ=ON)" >&2; exit 2; }
seconds=${2:-60}
tests="$(cd "$(dirname "$0")/.." && pwd)"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zorvik-fuzz-corpus.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# The targets' files of each input live in memory where that is possible.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
# Each fuzzer's output goes to BUILD_DIR/tests/fuzz/TARGET.log, shown where it found something.
passed=0 failed=0
for target in apply create; do
    corpus="$tests/corpus"
    [ $target = apply ] || corpus="$tests/corpus-create"
    mkdir "$scratch/$target"
    log="$1/tests/fuzz/${target}_fuzz.log"
    if "$1/tests/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        "$scratch/$target" "$corpus" >"$log" 2>&1; then
        echo "${target}_fuzz: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log" | tail -n 1), no finding"
        passed=$((passed + 1))
    else
        tail -n 40 "$log"
        echo "${target}_fuzz: FAILED (whole output in $log)"
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
