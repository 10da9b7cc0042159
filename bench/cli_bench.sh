#!/bin/sh
# Times the command-line tool's create and apply on generated data, beside the
# plain file operations that bound them (cat reads both files, cp copies the
# file to patch) and xdelta3 on the same pair. Each result is checked with cmp
# after its timed runs.
#   bench/cli_bench.sh BUILD_DIR      (BENCH_MB=64 BENCH_RUNS=3 by default)
set -eu

[ $# -eq 1 ] && [ -x "$1/cli/zorvik" ] || { echo "usage: $0 BUILD_DIR (with cli/zorvik built)" >&2; exit 2; }
zorvik="$(cd "$1" && pwd)/cli/zorvik"
mb=${BENCH_MB:-64}
runs=${BENCH_RUNS:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/zorvik-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir dist

# The same bytes for the same size: a random original, and a modified file with
# 1000 changed spans of 1 to 64 bytes and 1 MiB appended.
python3 - "$mb" <<'EOF'
import random, sys
size = int(sys.argv[1]) << 20
rng = random.Random(20261206)
original = rng.randbytes(size)
modified = bytearray(original)
for _ in range(1000):
    at = rng.randrange(size - 64)
    span = rng.randrange(1, 65)
    modified[at:at + span] = rng.randbytes(span)
modified += rng.randbytes(1 << 20)
open("original.bin", "wb").write(original)
open("modified.bin", "wb").write(modified)
EOF

# best COMMAND...: the shortest wall time of $runs runs, in milliseconds.
best() {
    shortest=""
    i=0
    while [ $i -lt "$runs" ]; do
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1 || true
        took=$((($(date +%s%N) - start) / 1000000))
        if [ -z "$shortest" ] || [ $took -lt "$shortest" ]; then shortest=$took; fi
        i=$((i + 1))
    done
    echo "$shortest"
}

row() {
    printf '| %-44s | %8s | %8s |\n' "$1" "$2" "$(awk -v mb="$mb" -v ms="$2" 'BEGIN { printf "%.0f", (ms > 0 ? mb * 1000 / ms : 0) }')"
}

read_ms=$(best cat original.bin modified.bin)
create_ms=$(best "$zorvik" --yes create original.bin modified.bin)
cp modified.ips dist/patch.ips
cp_ms=$(best cp original.bin copy.bin)
apply_ms=$(best "$zorvik" --yes apply dist/patch.ips original.bin)
cmp dist/patch.bin modified.bin
xdelta_create_ms=$(best xdelta3 -f -e -s original.bin modified.bin delta.vcdiff)
xdelta_apply_ms=$(best xdelta3 -f -d -s original.bin delta.vcdiff xdelta.bin)
cmp xdelta.bin modified.bin

echo "zorvik command line, $mb MiB original, 1000 changed spans and 1 MiB appended; best of $runs runs"
echo "machine: $(uname -sm), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores"
echo "patch: $(wc -c <modified.ips) bytes (xdelta3: $(wc -c <delta.vcdiff) bytes)"
echo
printf '| %-44s | %8s | %8s |\n' "operation" "ms" "MiB/s"
printf '|%s|%s|%s|\n' "----------------------------------------------" "----------" "----------"
row "cat original modified (reads both)" "$read_ms"
row "zorvik create" "$create_ms"
row "xdelta3 -e" "$xdelta_create_ms"
row "cp original (the copy apply makes)" "$cp_ms"
row "zorvik apply" "$apply_ms"
row "xdelta3 -d" "$xdelta_apply_ms"
