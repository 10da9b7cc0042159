#!/bin/sh
# The command-line tool on real files: exit statuses, what it prints, the files it leaves.
#   cli_test.sh ZORVIK [RUNNER]   (RUNNER, cmake/wine-run.sh: the Windows build, Shift-JIS and CRLF)
set -u
export LANG=ja_JP.UTF-8
unset LANGUAGE LC_ALL LC_MESSAGES

absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
[ -x "$1" ] || { echo "no tool at $1"; exit 1; }
zorvik=$(absolute "$1")
runner=${2:+$(absolute "$2")}
[ -n "$runner" ] || locale -a | grep -qi '^ja_JP\.utf-\?8$' || { echo "no ja_JP.UTF-8 locale (make deps makes it)"; exit 1; }
manual=$(absolute "$(dirname "$0")/../../cli/zorvik.1")
failures=0
work=$(mktemp -d "${TMPDIR:-/tmp}/zorvik-cli-test.XXXXXX")
# Under Wine started as root the tool runs as an unprivileged user.
chmod 777 "$work"
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1

# The build's encoding of a UTF-8 text.
text() { if [ -n "$runner" ]; then printf '%s' "$1" | iconv -f UTF-8 -t CP932; else printf '%s' "$1"; fi; }

# check COMMAND...: counts a failure, with what the tool printed, unless COMMAND succeeds.
check() {
    "$@" && return
    printf 'FAIL [%s]: %s (exit status %s)\n  stdout: %s\n  stderr: %s\n' "$case" "$*" "$status" \
        "$(cat out.txt)" "$(cat err.txt)"
    failures=$((failures + 1))
}
exits() { [ "$status" = "$1" ]; }
stdout_is() { [ "$(cat out.txt)" = "$(text "$1")" ]; }
stderr_has() { case "$(cat err.txt)" in *"$(text "$1")"*) ;; *) false ;; esac; }
stderr_lacks() { ! stderr_has "$1"; }
ascii_only() { [ -z "$(cat out.txt err.txt | LC_ALL=C tr -d '\000-\177')" ]; }
no_temporary_left() { test -z "$(ls -A . dist | grep zorvik-)"; }
# ran STATUS: checks the exit status of the command just run, where `run` cannot run it.
ran() { status=$?; check exits "$1"; }

# run STATUS ARGS...: runs the tool (under $confine, where set) into out.txt and err.txt.
confine=
run() {
    expected=$1
    shift
    $confine ${runner:+"$runner"} "$zorvik" "$@" >out.raw 2>err.raw
    status=$?
    for stream in out err; do tr -d '\r' <$stream.raw >$stream.txt; done
    check exits "$expected"
}

# prints STATUS out|err TEXT ARGS...: run, then standard output is TEXT, or standard error holds it.
prints() {
    expected=$1 where=$2 said=$3
    shift 3
    run "$expected" "$@"
    case $where in out) check stdout_is "$said" ;; err) check stderr_has "$said" ;; esac
}

# says STATUS out|err JAPANESE ENGLISH ARGS...: prints, in Japanese and (natively) in ASCII English.
says() {
    expected=$1 where=$2 japanese=$3 english=$4
    shift 4
    if [ -z "$runner" ]; then
        LANG=C.UTF-8
        prints "$expected" "$where" "$english" "$@"
        LANG=ja_JP.UTF-8
        check ascii_only
    fi
    prints "$expected" "$where" "$japanese" "$@"
}
exec </dev/null

# dist/ holds patches, so that an applied copy never lands on new.bin.
printf 'The quick brown fox jumps over the lazy dog.' >old.bin
printf 'The quick BROWN fox jumps over the lazy cat.!!' >new.bin
mkdir -m 777 dist

case="--version, --help and usage errors"
prints 0 out "Zorvik 0.64 Teldra" --version
run 0 --help
check grep -q "zorvik \[options\] apply PATCH... FILE" out.txt
# The man page names the same options, and the same commands in its synopsis, as --help.
options() { grep -o -e '--[a-z][a-z-]*' -e ' -[a-z][, ]' | sed 's/^ //; s/[, ]$//' | sort -u; }
check test "$(options <out.txt)" = "$(sed 's/\\-/-/g' "$manual" | options)"
check test "$(grep -o 'zorvik \[.*\] [a-z]*' out.txt | awk '{print $NF}' | sort -u)" = \
    "$(sed -n '/^\.SH SYNOPSIS/,/^\.SH DESCRIPTION/s/^\.B \([a-z]*\)$/\1/p' "$manual" | grep -v zorvik | sort -u)"
for args in "" "frob a b" "apply only-one" "create a b c" "info a b" "--json create a b" "--bogus apply a b" \
    "create old.bin $(printf '%0260d' 0)"; do
    # shellcheck disable=SC2086
    prints 2 err "zorvik --help" $args
done
check stderr_has "path longer than 259 bytes"

case="create and apply with --yes"
says 0 out "IPS32ﾌｧｲﾙ new.ips を作成しました。" "Created the IPS32 file new.ips." -y create old.bin new.bin
check stderr_has "よろしいですか? [y/n] y"
cp new.ips dist/new.ips
says 0 out "dist/new.binは正常にﾊﾟｯﾁされました。" "dist/new.bin was patched successfully." apply --yes dist/new.ips old.bin
check stderr_lacks "すでにﾊﾟｯﾁ"
check cmp -s dist/new.bin new.bin

case="answers from standard input, and its end as No"
says 3 err "new.ips
を作成します。
よろしいですか? [y/n] " "new.ips
will be created.
Continue? [y/n] " create old.bin new.bin
check test ! -s out.txt
printf 'OLD' >new.ips
printf 'yes\nn\n' >answers
run 3 create old.bin new.bin <answers
check grep -qx OLD new.ips
printf 'y\nyes\n' >answers
run 0 create old.bin new.bin <answers
check cmp -s new.ips dist/new.ips

case="a failure is reported on standard error only"
says 1 err "dist/none.ips は、存在しません。" "dist/none.ips does not exist." -y apply dist/none.ips old.bin
check test ! -s out.txt

case="output that is an input through a link"
cp old.bin old.keep && ln -sf old.bin new.ips
run 1 -y create old.bin new.bin
check stderr_has "IPSﾌｧｲﾙが変更前または変更後のﾌｧｲﾙと同名になってしまうためIPSを作成できません。"
check cmp -s old.bin old.keep
rm new.ips && cp dist/new.ips new.ips && chmod a+w new.ips

case="create --smallest and -o; -o: an older file that a failed run was to replace stays as it was"
prints 0 out "IPS32ﾌｧｲﾙ dist/small.ips を作成しました。" -y --smallest -o dist/small.ips create old.bin new.bin
# BROWN; then cat, the equal "." and the tail !! in one record: 5 + 11 + 12 + 4 bytes.
check test "$(wc -c <dist/small.ips)" -eq 32
run 0 -y --output dist/small.bin apply dist/small.ips old.bin
check cmp -s dist/small.bin new.bin
printf 'IPS32' >dist/cut.ips
printf 'keep' >dist/keep.bin && chmod a+w dist/keep.bin
run 1 -y -o dist/keep.bin apply dist/cut.ips old.bin
check grep -qx keep dist/keep.bin
check no_temporary_left

case="apply several patches in a row, and a failing second one"
printf 'IPS32\0\0\0\012\0\005BROWNEEOF' >dist/a.ips
printf 'IPS32\0\0\0\050\0\003catEEOF' >dist/b.ips
printf 'IPS32\0\0\0\054\0\002!!EEOF' >dist/c.ips
says 0 err "IPSﾌｧｲﾙ dist/b.ips でﾊﾟｯﾁしています。(2/3)" "Patching with the IPS file dist/b.ips (2/3)." \
    -y apply dist/a.ips dist/b.ips dist/c.ips old.bin
check stdout_is "dist/c.binは正常にﾊﾟｯﾁされました。"
check stderr_has "を作成し、このﾌｧｲﾙを3個のIPSﾌｧｲﾙで順にﾊﾟｯﾁします。"
check cmp -s dist/c.bin new.bin
says 1 err "2個目のIPSﾌｧｲﾙ dist/cut.ips でﾊﾟｯﾁできませんでした。
FEOFが見つかりません。" "IPS file 2, dist/cut.ips, could not be applied.
FEOF not found." -y apply dist/a.ips dist/cut.ips dist/b.ips old.bin
check test ! -e dist/b.bin

case="apply asks first when the file already holds the patch"
says 3 err "new.bin は、すでにﾊﾟｯﾁされています。
それでもﾊﾟｯﾁしてもよろしいですか？ [y/n] " "new.bin has already been patched.
Patch anyway? [y/n] " -o dist/again.bin apply dist/new.ips new.bin
check test ! -e dist/again.bin
prints 0 err "それでもﾊﾟｯﾁしてもよろしいですか？ [y/n] y" -y -o dist/again.bin apply dist/new.ips new.bin
check cmp -s dist/again.bin new.bin

case="info on a good, a truncated and a trailing-byte patch"
# The worked example: a run of 0x300 bytes AA at 0x10, ABC at 0x400.
printf 'IPS32\0\0\0\020\0\0\003\0\252\0\0\004\0\0\003ABCEEOF' >dist/good.ips
says 0 out "dist/good.ips は、正常なIPS32ﾌｧｲﾙです。
ﾃﾞｰﾀﾚｺｰﾄﾞ: 1 個 (3 ﾊﾞｲﾄ)
ﾗﾝﾚｺｰﾄﾞ: 1 個 (768 ﾊﾞｲﾄ)
書き込む位置: 0x00000010 から 0x00000402 まで
ﾊﾟｯﾁ後のﾌｧｲﾙの最小ｻｲｽﾞ: 1027 ﾊﾞｲﾄ
EEOFの後のﾃﾞｰﾀ: なし" "dist/good.ips is a well-formed IPS32 file.
Data records: 1, bytes written: 3
Run records: 1, bytes written: 768
Offsets written: 0x00000010 to 0x00000402
Smallest size of a patched file in bytes: 1027
Bytes after EEOF: none" info dist/good.ips
{ cat dist/good.ips; printf 'junk'; } >dist/trailing.ips
json='{"records":[
{"at":5,"offset":16,"form":"run","length":768,"value":170},
{"at":14,"offset":1024,"form":"data","length":3}
],
"wellFormed":true,"condition":"well-formed","dataRecords":1,"dataBytes":3,"runRecords":1,"runBytes":768,"lowestOffset":16,"highestOffset":1026,"smallestSize":1027,"bytesAfterTerminator":4}'
says 0 out "$json" "$json" --json info --records dist/trailing.ips
head -c 20 dist/good.ips >dist/cut.ips
says 1 out "5: 0x00000010 ﾗﾝ 768 ﾊﾞｲﾄ (0xAA)
dist/cut.ips は、位置 14 のﾚｺｰﾄﾞが途中で切れています。
ﾃﾞｰﾀﾚｺｰﾄﾞ: 0 個 (0 ﾊﾞｲﾄ)
ﾗﾝﾚｺｰﾄﾞ: 1 個 (768 ﾊﾞｲﾄ)
書き込む位置: 0x00000010 から 0x0000030F まで" "5: 0x00000010 run, length 768 (0xAA)
dist/cut.ips: the record at position 14 is cut short.
Data records: 0, bytes written: 0
Run records: 1, bytes written: 768
Offsets written: 0x00000010 to 0x0000030F" info --records dist/cut.ips
says 1 err "dist/none.ipsを開けません。" "Cannot open dist/none.ips." info --json dist/none.ips
check grep -q '"condition":"cannot-open"' out.txt

case="progress"
says 0 err "  0% ﾌｧｲﾙ情報を取得中..." "  0% Getting file information..." -y --progress create old.bin new.bin
check stderr_has "100% 完了"
if [ -z "$runner" ] && command -v script >/dev/null 2>&1; then
    script -qec "'$zorvik' -y create old.bin new.bin" /dev/null >out.txt 2>&1
    check grep -qF "[##############################] 100% 完了" out.txt
fi

if [ -z "$runner" ]; then
    case="standard output or error lost"
    "$zorvik" --version >/dev/full 2>err.txt
    ran 1
    check stderr_has "zorvik: cannot write to standard output"
    "$zorvik" -y create old.bin new.bin >out.txt 2>/dev/full
    ran 1

    # LANGUAGE counts in every locale but C, then LC_ALL, LC_MESSAGES, LANG; no catalog: English.
    for setting in "ja LANG=C.UTF-8 LANGUAGE=fr:ja" "ja LANG=C.UTF-8 LC_MESSAGES=ja_JP.UTF-8" \
        "ja LC_ALL=ja_JP.UTF-8 LANG=C" "en LC_ALL=C.UTF-8" "en LANG=POSIX LANGUAGE=ja" "en LANGUAGE=fr"; do
        case="language chosen from $setting"
        confine="env ${setting#* }"
        case ${setting%% *} in ja) said="dist/none.ips は、存在しません。" ;; en) said="dist/none.ips does not exist." ;; esac
        prints 1 err "$said" -y apply dist/none.ips old.bin
    done

    # At most 10 seconds, and a full disk: writes past 1 KiB fail (SIGXFSZ is ignored).
    printf 'ulimit -f 2\nexec timeout 10 "$@"\n' >confined
    confine="sh confined"

    case="FIFOs and devices are no files"
    mkfifo fifo.ips fifo.bin && ln -s fifo.bin fifo.link
    says 1 err "fifo.ips は、IPSﾌｧｲﾙではありません。" "fifo.ips is not an IPS file." -y apply fifo.ips old.bin
    prints 1 err "fifo.binを開けません。" -y create fifo.bin new.bin
    prints 1 err "ﾌｧｲﾙをｺﾋﾟｰできません。" -y apply dist/new.ips /dev/zero
    check test ! -e dist/new
    # An output name that leads to a special file: it is no file to replace.
    for name in fifo.bin fifo.link; do
        prints 1 err "ﾌｧｲﾙをｺﾋﾟｰできません。
Not a regular file" -y -o $name apply dist/new.ips old.bin
        prints 1 err "新規ﾌｧｲﾙを作成できません。
Not a regular file" -y -o $name create old.bin new.bin
    done
    check test -p fifo.bin -a -L fifo.link

    # The system's reason is in the locale's language too: it is checked in English.
    case="full disk: the system's reason, and the older output intact"
    printf 'IPS32\0\0\020\0\0\001xEEOF' >dist/far.ips
    printf 'older' >dist/far.bin
    says 1 err "dist/far.binに書き込めません。" "Cannot write to dist/far.bin.
File too large" -y apply dist/far.ips old.bin
    check grep -qx older dist/far.bin
    seq 1000 | cat old.bin - >big.bin
    says 1 err "作成中にｴﾗｰが発生しました。" "An error occurred during creation.
File too large" -y create old.bin big.bin
    check test ! -e big.ips
    confine=

    # A row: what the job makes at -o out, then the job, whose last file is made private.
    for row in "new.bin apply dist/new.ips old.bin" "dist/new.ips create old.bin new.bin"; do
        # shellcheck disable=SC2086
        set -- $row
        made=$1 input=$4
        shift
        case="$1: a symbolic, hard or dangling link at -o is replaced, not followed; private input, private output"
        chmod 600 "$input"
        for link in "ln -s victim" "ln victim" "ln -s nowhere" :; do
            printf 'precious\n' >victim
            rm -f out nowhere
            $link out
            run 0 -y -o out "$@"
            check grep -qx precious victim
            check test ! -L out -a ! -e nowhere
            check cmp -s out "$made"
            check test "$(stat -c %a out)" = 600
        done
        chmod 644 "$input"
    done

    case="names are printed with their control bytes escaped"
    escaped=$(printf 'e\033]0;x\007\nfake [y] .bin')
    cp new.bin "$escaped"
    prints 0 out 'IPS32ﾌｧｲﾙ e\x1b]0;x\x07\x0afake [y] .ips を作成しました。' -y create old.bin "$escaped"
    check stderr_has 'e\x1b]0;x\x07\x0afake [y] .bin'
    check test "$(tr -d '\n' <err.txt | tr -d '[:print:]' | LC_ALL=C tr -d '\200-\377')" = ""
    rm -f "$escaped" e*.ips

    # background PART ARGS...: starts the tool ($first) and waits for PART on its standard
    # error, a FIFO held open here; & would ignore SIGINT and SIGQUIT without --default-signal.
    mkfifo progress
    background() {
        part=$1
        shift
        env --default-signal=INT,QUIT "$zorvik" -y --progress "$@" >progress.out 2>progress &
        first=$!
        exec 3<progress
        while IFS= read -r line <&3 && [ "${line#*"$part"}" = "$line" ]; do :; done
    }
    # finish SIGNAL|none STATUS [FILE]: checks the status, that FILE is absent and, unless
    # killed, that no temporary file is left; standard error is in err.txt.
    finish() {
        [ "$1" = none ] || kill -"$1" $first
        cat <&3 >err.txt
        wait $first
        ran "$2"
        exec 3<&-
        [ -z "${3:-}" ] || check test ! -e "$3"
        [ "$1" = KILL ] || check no_temporary_left
    }

    # Seconds to apply: 2^18 pairs of runs of 65535 bytes at 0 and 1 GiB (a sparse copy).
    printf '\0\0\0\0\0\0\377\377r\100\0\0\0\0\0\377\377s' >runs
    for i in $(seq 18); do cat runs runs >runs2 && mv runs2 runs; done
    { printf 'IPS32'; cat runs; printf 'EEOF'; } >dist/slow.ips
    # Every other byte differs: a second to compare.
    for c in a b; do yes $c | head -c 64M >$c.bin; done

    case="standard error closed early (SIGPIPE): a failure, the output whole or absent"
    for job in "apply dist/slow.ips old.bin" "create a.bin b.bin"; do
        rm -f out
        # shellcheck disable=SC2086
        { "$zorvik" -y --progress -o out $job 2>&1; echo $? >status; } | head -c 1 >/dev/null
        status=$(cat status)
        check exits 1
        check no_temporary_left
    done
    check test ! -e out -o "$("$zorvik" -y -o check.bin apply out a.bin >/dev/null 2>&1 && cmp check.bin b.bin &&
        echo whole)" = whole

    case="a second run at the same output, then the first stopped while it patches: each output whole"
    background ﾌｧｲﾙ情報を取得中 apply dist/slow.ips old.bin
    run 0 -y -o dist/slow.bin apply dist/new.ips old.bin
    check cmp -s dist/slow.bin new.bin
    finish INT 130
    check cmp -s dist/slow.bin new.bin
    rm dist/slow.bin

    case="run killed while it patches: at most a temporary file"
    background ﾊﾟｯﾁ処理中 apply dist/slow.ips old.bin
    finish KILL 137 dist/slow.bin
    check test "$(ls -A dist | grep zorvik- | grep -cv '^\.slow\.bin\.zorvik-......$')" = 0
    rm -f dist/.slow.bin.zorvik-*

    case="patch rewritten while it is applied"
    background ﾊﾟｯﾁ処理中 apply dist/slow.ips old.bin
    # The last run's byte, s, again: the content stays, the change is seen all the same.
    printf s | dd of=dist/slow.ips bs=1 seek=$(($(wc -c <dist/slow.ips) - 5)) conv=notrunc 2>/dev/null
    finish none 1 dist/slow.bin
    check stderr_has "dist/slow.ipsは、読み込み中に変更されました。"

    case="run stopped while it creates"
    for stop in "TERM 143" "QUIT 131"; do
        background 作成中 create a.bin b.bin
        # shellcheck disable=SC2086
        finish $stop b.ips
    done

    case="input rewritten while a patch is made of it"
    background 作成中 create a.bin b.bin
    printf 'b' | dd of=b.bin bs=1 seek=1000 conv=notrunc 2>/dev/null
    finish none 1 b.ips
    check stderr_has "b.binは、読み込み中に変更されました。"

    case="input made shorter while a patch is made of it, by either writer"
    for writer in --smallest ""; do
        yes b | head -c 64M >b.bin
        # shellcheck disable=SC2086
        background 作成中 $writer create a.bin b.bin
        truncate -s 1M b.bin
        finish none 1 b.ips
        check stderr_has "b.binを開けません。"
    done
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "all command-line checks passed"
