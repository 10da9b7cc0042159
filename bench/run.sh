#!/bin/sh
# Times the patch engine and the zorvik tool on generated files against what
# bounds them: creation against reading both files (cat), application against
# copying the file (cp), and both against xdelta3 on the same files; and the
# smallest patch (create --smallest) beside the default, in time and size. Two
# cases: about 1% of the bytes changed in scattered stretches, and the worst
# case, every other byte changed.
# Every output is checked with cmp after its timed runs.
#   bench/run.sh BUILD_DIR    (a native build with bench/engine_bench and cli/zorvik)
# Settings: BENCH_MB=256 BENCH_SEED=1 BENCH_RUNS=5 BENCH_XDELTA_LIMIT=30 (seconds
# xdelta3 may take in the worst case; it is stopped there).
set -eu

[ $# -eq 1 ] && [ -x "$1/bench/engine_bench" ] && [ -x "$1/cli/zorvik" ] ||
    { echo "usage: $0 BUILD_DIR (with bench/engine_bench and cli/zorvik built)" >&2; exit 2; }
bench="$(cd "$1" && pwd)/bench/engine_bench"
zorvik_path="$(cd "$1" && pwd)/cli/zorvik"
mb=${BENCH_MB:-256}
seed=${BENCH_SEED:-1}
runs=${BENCH_RUNS:-5}
limit=${BENCH_XDELTA_LIMIT:-30}
work=$(mktemp -d "${TMPDIR:-/tmp}/zorvik-engine-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

now() { date +%s%N; }

# since START: the milliseconds since START.
since() { echo $((($(now) - $1) / 1000000)); }

# best SETUP COMMAND...: the shortest of $runs timed runs of COMMAND, each after
# an untimed SETUP (":" for none). Any failure ends the benchmark.
best() {
    setup=$1
    shift
    shortest=""
    i=0
    while [ $i -lt "$runs" ]; do
        eval "$setup"
        start=$(now)
        "$@" >/dev/null
        took=$(since "$start")
        if [ -z "$shortest" ] || [ "$took" -lt "$shortest" ]; then shortest=$took; fi
        i=$((i + 1))
    done
    echo "$shortest"
}

# The tool answering yes, its questions kept off the terminal.
zorvik() { "$zorvik_path" --yes "$@" 2>/dev/null; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b <= 0) print "-"; else printf "%.1fx", a / b }'; }

"$bench" data "$work" "$mb" "$seed"
cat original.bin modified.bin worst.bin >/dev/null  # into the page cache, as for every run after

# measure NAME MODIFIED: the rows of one case, as shell variables NAME_*.
measure() {
    name=$1
    modified=$2
    read=$(best : cat original.bin "$modified")
    create=$(best : "$bench" create original.bin "$modified" patch.ips)
    copy=$(best : cp original.bin copy.bin)
    cmp copy.bin original.bin
    job=$(best "rm -f copy.bin" "$bench" copy-apply original.bin copy.bin patch.ips)
    cmp copy.bin "$modified"
    alone=$(best "cp original.bin copy.bin" "$bench" apply copy.bin patch.ips)
    cmp copy.bin "$modified"
    patch_size=$(wc -c <patch.ips)
    rm -f patch.ips copy.bin

    smallest=$(best : "$bench" create-smallest original.bin "$modified" smallest.ips)
    "$bench" copy-apply original.bin copy.bin smallest.ips
    cmp copy.bin "$modified"
    smallest_size=$(wc -c <smallest.ips)
    rm -f smallest.ips copy.bin
    cli_smallest=$(best "rm -f ${modified%.bin}.ips" zorvik --smallest create original.bin "$modified")

    # The tool names the patch after the modified file and the patched copy
    # after the patch, so the patch is moved to a folder of its own to apply it.
    cli_create=$(best "rm -f ${modified%.bin}.ips" zorvik create original.bin "$modified")
    mkdir -p dist
    mv "${modified%.bin}.ips" dist/patch.ips
    cli_apply=$(best "rm -f dist/patch.bin" zorvik apply dist/patch.ips original.bin)
    cmp dist/patch.bin "$modified"
    rm -rf dist

    # xdelta3 is run once; in the worst case it may be stopped at the limit.
    start=$(now)
    if timeout "$limit" xdelta3 -e -f -s original.bin "$modified" delta.vcdiff; then
        xencode=$(since "$start")
        xsize=$(wc -c <delta.vcdiff)
        start=$(now)
        xdelta3 -d -f -s original.bin delta.vcdiff xdelta.bin
        xdecode=$(since "$start")
        cmp xdelta.bin "$modified"
    else
        xencode="-"
        xdecode="-"
        xsize="stopped after ${limit} s"
    fi
    rm -f delta.vcdiff xdelta.bin
    for row in read create cli_create copy job alone cli_apply xencode xdecode patch_size xsize smallest \
        smallest_size cli_smallest; do
        eval "${name}_$row=\$$row"
    done
}

measure one modified.bin
measure worst worst.bin

row() {
    label=$1
    one=$2
    one_base=$3
    worst=$4
    worst_base=$5
    printf '| %-44s | %8s | %6s | %8s | %6s |\n' "$label" "$one" "$(ratio "$one" "$one_base")" "$worst" \
        "$(ratio "$worst" "$worst_base")"
}

os=$(. /etc/os-release 2>/dev/null && echo "$PRETTY_NAME" || uname -s)
echo "Zorvik engine, two files of $mb MiB (seed $seed); milliseconds, best of $runs runs (xdelta3: one run)"
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores," \
    "$os, Linux $(uname -r), $("$bench" compiler), $(xdelta3 -V 2>&1 | head -n1 | cut -d, -f1)"
echo "patch sizes: 1% changed $one_patch_size bytes (xdelta3: $one_xsize);" \
    "every other byte $worst_patch_size bytes (xdelta3: $worst_xsize)"
echo
printf '| %-44s | %8s | %6s | %8s | %6s |\n' "operation" "1% (ms)" "ratio" "worst ms" "ratio"
printf '|%s|%s|%s|%s|%s|\n' "----------------------------------------------" "---------:" "-------:" "---------:" "-------:"
row "cat original modified >/dev/null (read)" "$one_read" "$one_read" "$worst_read" "$worst_read"
row "CreatePatch" "$one_create" "$one_read" "$worst_create" "$worst_read"
row "zorvik create" "$one_cli_create" "$one_read" "$worst_cli_create" "$worst_read"
row "xdelta3 -e" "$one_xencode" "$one_read" "$worst_xencode" "$worst_read"
row "cp original copy (copy)" "$one_copy" "$one_copy" "$worst_copy" "$worst_copy"
row "copy + ApplyPatch (the apply job's work)" "$one_job" "$one_copy" "$worst_job" "$worst_copy"
row "ApplyPatch alone" "$one_alone" "$one_copy" "$worst_alone" "$worst_copy"
row "zorvik apply (copy + ApplyPatch)" "$one_cli_apply" "$one_copy" "$worst_cli_apply" "$worst_copy"
row "xdelta3 -d" "$one_xdecode" "$one_copy" "$worst_xdecode" "$worst_copy"
echo
echo "The smallest patch (CreateSmallestPatch, zorvik create --smallest) beside the default; milliseconds:"
echo
printf '| %-24s | %8s | %8s | %6s | %8s | %6s | %12s | %12s |\n' "case" "default" "smallest" "ratio" "zorvik" \
    "ratio" "default bytes" "smallest bytes"
printf '|%s|%s|%s|%s|%s|%s|%s|%s|\n' "--------------------------" "---------:" "---------:" "-------:" "---------:" \
    "-------:" "--------------:" "---------------:"
for case in one worst; do
    eval "create=\$${case}_create cli_create=\$${case}_cli_create smallest=\$${case}_smallest" \
        "cli_smallest=\$${case}_cli_smallest size=\$${case}_patch_size smallest_size=\$${case}_smallest_size"
    label=$([ "$case" = one ] && echo "1% changed" || echo "every other byte")
    printf '| %-24s | %8s | %8s | %6s | %8s | %6s | %13s | %14s |\n' "$label" "$create" "$smallest" \
        "$(ratio "$smallest" "$create")" "$cli_smallest" "$(ratio "$cli_smallest" "$cli_create")" "$size" "$smallest_size"
done
