#!/bin/sh
# Runs the ApplyPatch fuzzer for SECONDS (default 60), starting from the saved
# patches in tests/corpus. New inputs go to a scratch corpus that is removed
# afterwards; a finding is written to the current directory as crash-*,
# leak-* or timeout-*, and the script fails. Add a finding worth keeping to
# tests/corpus (named good-* or bad-*) so that the unit tests replay it.
#   tests/fuzz/run.sh BUILD_DIR [SECONDS]
set -eu

[ $# -ge 1 ] && [ -x "$1/tests/fuzz/apply_fuzz" ] || { echo "usage: $0 BUILD_DIR [SECONDS] (built with -DZORVIK_FUZZ=ON)" >&2; exit 2; }
fuzzer="$1/tests/fuzz/apply_fuzz"
seconds=${2:-60}
corpus="$(cd "$(dirname "$0")/../corpus" && pwd)"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zorvik-fuzz-corpus.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# The target's files of each input live in memory where that is possible.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$scratch" "$corpus"
