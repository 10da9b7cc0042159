#!/bin/sh
# Times the patch engine and the zorvik tool on generated files against what
# bounds them: creation against reading both files (cat), or in the worst case
# against writing as many bytes as its patch holds (head -c N /dev/zero);
# application against copying the file (cp); and xdelta3 on the 1% pair. The
# pairs: about 1% of the bytes changed in scattered stretches of 1 to 512 and
# of 1 to 8 bytes, large changed blocks and a longer modified file, identical
# files, and every other byte changed, of BENCH_MB; both 1% pairs also of
# BENCH_BIG_MB, and the first of 1 MiB, so that the peak memory of creation
# can be compared across sizes. Every output is checked with cmp after its
# timed runs. The smallest patch (create --smallest) is timed and measured
# beside the default on the 1%, blocks and worst pairs. The first line gives
# the machine's read speed (cat of both files of the first pair), so that
# ratios taken on different machines can be compared. Cold rows time creation
# and application of the 1% pair of BENCH_BIG_MB from a cold disk, the page
# cache dropped before each run (as root; skipped with a line elsewhere),
# application against cp alone and against cp with its copy flushed to the
# disk, as the apply job flushes its own, and the patch applied in place to a
# file not in the cache against cp; and creation again with the disk set
# to read ahead 128 KiB, with its read requests.
# With BENCH_WEB naming a built page (build/web), the page's creation and
# application of the 1% pair of BENCH_MB are timed against the tool's in
# headless Chromium (bench/web.py, BENCH_WEB_RUNS rounds).
#   bench/run.sh BUILD_DIR    (a native build with bench/engine_bench and cli/zorvik)
# Settings: BENCH_MB=256 BENCH_BIG_MB=1024 BENCH_SEED=1 BENCH_RUNS=5 BENCH_COLD_RUNS=3 BENCH_WEB= BENCH_WEB_RUNS=3
set -eu

[ $# -eq 1 ] && [ -x "$1/bench/engine_bench" ] && [ -x "$1/cli/zorvik" ] ||
    { echo "usage: $0 BUILD_DIR (with bench/engine_bench and cli/zorvik built)" >&2; exit 2; }
bench="$(cd "$1" && pwd)/bench/engine_bench"
web_bench="$(cd "$(dirname "$0")" && pwd)/web.py"
web_dir=${BENCH_WEB:+$(cd "$BENCH_WEB" && pwd)}
zorvik_path="$(cd "$1" && pwd)/cli/zorvik"
mb=${BENCH_MB:-256}
big_mb=${BENCH_BIG_MB:-1024}
seed=${BENCH_SEED:-1}
runs=${BENCH_RUNS:-5}
cold_runs=${BENCH_COLD_RUNS:-3}
work=$(mktemp -d "${TMPDIR:-/tmp}/zorvik-engine-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Stopped, it still cleans up (and puts back a disk setting it changed).
trap 'exit 130' INT TERM HUP
cd "$work"

now() { date +%s%N; }

# since START: the milliseconds since START.
since() { echo $((($(now) - $1) / 1000000)); }

# timed VARIABLE SETUP COMMAND...: runs COMMAND once after an untimed SETUP
# (":" for none) and keeps in VARIABLE the shortest time it has taken so far.
# What earlier commands wrote is on the disk first (sync), so that the system
# writing it back does not take the processors from COMMAND. Any failure
# ends the benchmark.
timed() {
    variable=$1
    setup=$2
    shift 2
    eval "$setup"
    sync
    start=$(now)
    "$@" >/dev/null
    took=$(since "$start")
    eval "shortest=\${$variable:-}"
    if [ -z "$shortest" ] || [ "$took" -lt "$shortest" ]; then eval "$variable=$took"; fi
}

# The tool answering yes, its questions kept off the terminal.
zorvik() { "$zorvik_path" --yes "$@" 2>/dev/null; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b <= 0) print "-"; else printf "%.2fx", a / b }'; }

mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }

"$bench" data . "$mb" "$seed"
cp original.bin identical.bin
mkdir big small
"$bench" pair big "$big_mb" "$seed"
"$bench" pair small 1 "$seed"
# On the disk, and into the page cache, as for every run after.
sync
cat ./*.bin big/*.bin small/*.bin >/dev/null

create_rows=""
apply_rows=""
smallest_rows=""

# measure LABEL DIR MODIFIED [smallest]: a row of each table for the pair
# DIR/original.bin and DIR/MODIFIED. Creation is compared with reading both
# files, or, for the worst case, with writing as many bytes as its patch holds.
# Each round runs every command once, so that the machine's load, which
# changes slowly, weighs alike on a command and its baseline; the shortest
# time of the rounds counts. With "smallest", the smallest patch is timed in
# the same rounds, applied back and checked, and given a row beside the
# default.
measure() {
    label=$1
    dir=$2
    modified=$3
    with_smallest=${4:-}
    cd "$dir"
    peak=$("$bench" create original.bin "$modified" patch.ips)
    patch_size=$(wc -c <patch.ips)
    if [ "$modified" = worst.bin ]; then
        baseline_name="head -c $patch_size /dev/zero > f"
    else
        baseline_name="cat both"
    fi
    # The tool names the patch after the modified file and the patched copy
    # after the patch, so the patch is applied from a folder of its own.
    cli_patch=${modified%.bin}.ips
    unset baseline create cli_create copy job alone cli_apply smallest cli_smallest
    round=0
    while [ $round -lt "$runs" ]; do
        if [ "$modified" = worst.bin ]; then
            timed baseline "rm -f zero.bin" sh -c "head -c $patch_size /dev/zero >zero.bin"
        else
            timed baseline : cat original.bin "$modified"
        fi
        timed create "rm -f patch.ips" "$bench" create original.bin "$modified" patch.ips
        timed cli_create "rm -f $cli_patch" zorvik create original.bin "$modified"
        timed copy "rm -f copy.bin" cp original.bin copy.bin
        timed job "rm -f copy.bin" "$bench" copy-apply original.bin copy.bin patch.ips
        cmp copy.bin "$modified"
        timed alone "rm -f copy.bin; cp original.bin copy.bin" "$bench" apply copy.bin patch.ips
        cmp copy.bin "$modified"
        timed cli_apply "rm -rf dist; mkdir dist; mv $cli_patch dist/patch.ips" zorvik apply dist/patch.ips original.bin
        cmp dist/patch.bin "$modified"
        cmp dist/patch.ips patch.ips
        if [ -n "$with_smallest" ]; then
            timed smallest "rm -f smallest.ips" "$bench" create-smallest original.bin "$modified" smallest.ips
            timed cli_smallest "rm -f $cli_patch" zorvik --smallest create original.bin "$modified"
        fi
        round=$((round + 1))
    done
    if [ -n "$with_smallest" ]; then
        rm -f copy.bin
        "$bench" copy-apply original.bin copy.bin smallest.ips >/dev/null
        cmp copy.bin "$modified"
        cmp smallest.ips "$cli_patch"
        smallest_rows="$smallest_rows$(printf '| %-28s | %8s | %8s | %6s | %8s | %13s | %14s |' "$label" "$create" \
            "$smallest" "$(ratio "$smallest" "$create")" "$cli_smallest" "$patch_size" "$(wc -c <smallest.ips)")
"
        rm -f smallest.ips "$cli_patch"
    fi
    rm -rf patch.ips copy.bin zero.bin dist
    cd "$work"

    create_rows="$create_rows$(printf '| %-28s | %-34s | %8s | %8s | %6s | %8s | %6s | %12s | %10s |' "$label" \
        "$baseline_name" "$baseline" "$create" "$(ratio "$create" "$baseline")" "$cli_create" \
        "$(ratio "$cli_create" "$baseline")" "$patch_size" "$(mib "$peak")")
"
    apply_rows="$apply_rows$(printf '| %-28s | %8s | %8s | %6s | %8s | %6s | %8s | %6s |' "$label" "$copy" "$job" \
        "$(ratio "$job" "$copy")" "$alone" "$(ratio "$alone" "$copy")" "$cli_apply" "$(ratio "$cli_apply" "$copy")")
"
}

measure "1% scattered, $mb MiB" . modified.bin smallest
read_speed=$(awk -v ms="$baseline" -v mib="$mb" 'BEGIN { printf "%.0f", 2 * mib * 1048576 / (ms / 1000) / 1e6 }')
measure "1% in 1-8 bytes, $mb MiB" . short.bin smallest
measure "large blocks, $mb MiB + 1/16" . blocks.bin smallest
measure "identical, $mb MiB" . identical.bin
measure "every other byte, $mb MiB" . worst.bin smallest
measure "1% scattered, $big_mb MiB" big modified.bin
measure "1% in 1-8 bytes, $big_mb MiB" big short.bin smallest
measure "1% scattered, 1 MiB" small modified.bin

# Empties the page cache, so that the next command reads from the disk.
drop_caches() { sync && echo 3 >/proc/sys/vm/drop_caches; }

# The disk that holds the files, and its queue where its read-ahead can be
# set (a partition's is its disk's).
disk=$(basename "$(df --output=source . | tail -n1)")
queue=""
for q in "/sys/class/block/$disk/queue" "/sys/class/block/$disk/../queue"; do
    if [ -w "$q/read_ahead_kb" ] && [ -r "/sys/class/block/$disk/stat" ]; then queue=$q && break; fi
done

# requests VARIABLE COMMAND...: runs COMMAND from a cold disk and keeps in
# VARIABLE the disk's read requests it took and their mean size in KiB.
requests() {
    variable=$1
    shift
    drop_caches
    before=$(awk '{print $1, $3}' "/sys/class/block/$disk/stat")
    "$@" >/dev/null
    after=$(awk '{print $1, $3}' "/sys/class/block/$disk/stat")
    counted=$(echo "$before $after" | awk '{n = $3 - $1; printf "%d %.0f", n, n ? ($4 - $2) / 2 / n : 0}')
    eval "$variable=\$counted"
}

# Cold rows: each command of a round starts with the page cache dropped.
cold_rows=""
disk_rows=""
if (drop_caches) 2>/dev/null; then
    cd big
    "$bench" create original.bin modified.bin patch.ips >/dev/null
    unset cold_cat cold_create cold_copy cold_flushed cold_job cold_apply
    round=0
    while [ $round -lt "$cold_runs" ]; do
        timed cold_cat drop_caches cat original.bin modified.bin
        timed cold_create "rm -f cold.ips; drop_caches" "$bench" create original.bin modified.bin cold.ips
        cmp cold.ips patch.ips
        timed cold_copy "rm -f copy.bin; drop_caches" cp original.bin copy.bin
        # The apply job flushes its copy to the disk before the rename; so does this copy.
        timed cold_flushed "rm -f copy.bin; drop_caches" sh -c "cp original.bin copy.bin && sync copy.bin"
        timed cold_job "rm -f copy.bin; drop_caches" "$bench" copy-apply original.bin copy.bin patch.ips
        cmp copy.bin modified.bin
        # The patch applied in place to a file the cache does not hold.
        timed cold_apply "cp original.bin copy.bin; drop_caches" "$bench" apply copy.bin patch.ips
        cmp copy.bin modified.bin
        round=$((round + 1))
    done
    # Again with the disk set to read ahead 128 KiB, as most are: its read
    # requests show how long the stretches it reads of each file are.
    if [ -n "$queue" ]; then
        kept=$(cat "$queue/read_ahead_kb")
        trap 'echo "$kept" >"$queue/read_ahead_kb"; rm -rf "$work"' EXIT
        echo 128 >"$queue/read_ahead_kb"
        unset slow_cat slow_create
        round=0
        while [ $round -lt "$cold_runs" ]; do
            timed slow_cat drop_caches cat original.bin modified.bin
            timed slow_create "rm -f cold.ips; drop_caches" "$bench" create original.bin modified.bin cold.ips
            cmp cold.ips patch.ips
            round=$((round + 1))
        done
        requests cat_requests cat original.bin modified.bin
        requests create_requests "$bench" create original.bin modified.bin cold.ips
        echo "$kept" >"$queue/read_ahead_kb"
        trap 'rm -rf "$work"' EXIT
        # shellcheck disable=SC2086
        disk_rows="$(printf '| %-28s | %8s | %6s | %8s | %8s |' "cat both, $big_mb MiB 1%" "$slow_cat" "" $cat_requests)
$(printf '| %-28s | %8s | %6s | %8s | %8s |' "create, $big_mb MiB 1%" "$slow_create" \
            "$(ratio "$slow_create" "$slow_cat")" $create_requests)
"
    fi
    rm -f patch.ips cold.ips copy.bin
    cd "$work"
    cold_rows="$(printf '| %-28s | %-8s | %8s | %8s | %6s |' "create, $big_mb MiB 1%" "cat both" "$cold_cat" \
        "$cold_create" "$(ratio "$cold_create" "$cold_cat")")
$(printf '| %-28s | %-8s | %8s | %8s | %6s |' "copy + apply, $big_mb MiB 1%" "cp" "$cold_copy" "$cold_job" \
        "$(ratio "$cold_job" "$cold_copy")")
$(printf '| %-28s | %-8s | %8s | %8s | %6s |' "copy + apply, $big_mb MiB 1%" "cp, sync" "$cold_flushed" "$cold_job" \
        "$(ratio "$cold_job" "$cold_flushed")")
$(printf '| %-28s | %-8s | %8s | %8s | %6s |' "apply in place, $big_mb MiB 1%" "cp" "$cold_copy" "$cold_apply" \
        "$(ratio "$cold_apply" "$cold_copy")")
"
fi

# xdelta3 once, on the 1% pair.
start=$(now)
xdelta3 -e -f -s original.bin modified.bin delta.vcdiff
xencode=$(since "$start")
xsize=$(wc -c <delta.vcdiff)
start=$(now)
xdelta3 -d -f -s original.bin delta.vcdiff xdelta.bin
xdecode=$(since "$start")
cmp xdelta.bin modified.bin

# The page, on the 1% pair.
web_rows=""
if [ -n "$web_dir" ]; then
    web_rows=$(/usr/bin/python3 "$web_bench" "$web_dir" "$zorvik_path" "$work/original.bin" "$work/modified.bin" \
        "1% scattered, $mb MiB" "${BENCH_WEB_RUNS:-3}")
fi

os=$(. /etc/os-release 2>/dev/null && echo "$PRETTY_NAME" || uname -s)
echo "read speed: $read_speed MB/s (cat of both files of the 1% pair of $mb MiB, from the page cache)"
echo "Zorvik engine, milliseconds, the shortest of $runs rounds in one run of this script (seed $seed)"
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores," \
    "$os, Linux $(uname -r), $("$bench" compiler)"
echo
echo "Creation, against reading both files (or writing as many bytes as the patch):"
echo
printf '| %-28s | %-34s | %8s | %8s | %6s | %8s | %6s | %12s | %10s |\n' "pair" "baseline" "base ms" \
    "engine" "ratio" "zorvik" "ratio" "patch bytes" "peak mem"
printf '|%s|%s|%s|%s|%s|%s|%s|%s|%s|\n' "------------------------------" "------------------------------------" \
    "---------:" "---------:" "-------:" "---------:" "-------:" "-------------:" "-----------:"
printf '%s' "$create_rows"
echo
echo "Application, against copying the file (cp); engine: copy + ApplyPatch, the apply job's work:"
echo
printf '| %-28s | %8s | %8s | %6s | %8s | %6s | %8s | %6s |\n' "pair" "cp ms" "engine" "ratio" "apply" "ratio" \
    "zorvik" "ratio"
printf '|%s|%s|%s|%s|%s|%s|%s|%s|\n' "------------------------------" "---------:" "---------:" "-------:" \
    "---------:" "-------:" "---------:" "-------:"
printf '%s' "$apply_rows"
echo
echo "$(xdelta3 -V 2>&1 | head -n1 | cut -d, -f1) on the 1% pair of $mb MiB, one run: -e $xencode ms" \
    "($xsize bytes), -d $xdecode ms"
echo
echo "The smallest patch (create --smallest) beside the default, milliseconds and bytes:"
echo
printf '| %-28s | %8s | %8s | %6s | %8s | %13s | %14s |\n' "pair" "default" "smallest" "ratio" "zorvik" \
    "default bytes" "smallest bytes"
printf '|%s|%s|%s|%s|%s|%s|%s|\n' "------------------------------" "---------:" "---------:" "-------:" \
    "---------:" "--------------:" "---------------:"
printf '%s' "$smallest_rows"
echo
if [ -n "$cold_rows" ]; then
    echo "From a cold disk (page cache dropped before each command), the shortest of $cold_runs rounds:"
    echo
    printf '| %-28s | %-8s | %8s | %8s | %6s |\n' "work" "baseline" "base ms" "engine" "ratio"
    printf '|%s|%s|%s|%s|%s|\n' "------------------------------" "----------" "---------:" "---------:" "-------:"
    printf '%s' "$cold_rows"
    echo
    if [ -n "$disk_rows" ]; then
        echo "The same with the disk ($disk) set to read ahead 128 KiB (read_ahead_kb), as most disks are;"
        echo "the disk's read requests in one more round:"
        echo
        printf '| %-28s | %8s | %6s | %8s | %8s |\n' "work" "ms" "ratio" "requests" "mean KiB"
        printf '|%s|%s|%s|%s|%s|\n' "------------------------------" "---------:" "-------:" "---------:" "---------:"
        printf '%s' "$disk_rows"
    else
        echo "Rows with a disk that reads ahead 128 KiB skipped: the read-ahead of the disk ($disk) cannot be set here."
    fi
else
    echo "Cold rows skipped: the page cache cannot be dropped here (/proc/sys/vm/drop_caches needs root)."
fi
if [ -n "$web_rows" ]; then
    echo
    echo "The page in headless Chromium ($(chromium --version 2>/dev/null | head -n1 | cut -d' ' -f1-2)) against the" \
        "zorvik tool, milliseconds, the shortest of ${BENCH_WEB_RUNS:-3} rounds:"
    echo
    printf '| %-30s | %8s | %8s | %7s |\n' "work" "zorvik" "page" "ratio"
    printf '|%s|%s|%s|%s|\n' "--------------------------------" "---------:" "---------:" "--------:"
    printf '%s\n' "$web_rows"
fi
