#!/bin/sh
# Runs the command-line tool on real files and checks exit statuses, what it
# prints and the files it leaves.
#   cli_test.sh ZORVIK [RUNNER]
# RUNNER (cmake/wine-run.sh) runs the Windows console build; its texts are
# Shift-JIS and its lines end in CRLF, so expectations are converted to match.
set -u

absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
[ -x "$1" ] || { echo "no tool at $1"; exit 1; }
zorvik=$(absolute "$1")
runner=${2:+$(absolute "$2")}
failures=0
work=$(mktemp -d "${TMPDIR:-/tmp}/zorvik-cli-test.XXXXXX")
# Under Wine started as root the tool runs as an unprivileged user.
chmod 777 "$work"
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1

# The build's encoding of a UTF-8 text.
text() {
    if [ -n "$runner" ]; then printf '%s' "$1" | iconv -f UTF-8 -t CP932; else printf '%s' "$1"; fi
}

# run_with_input FILE ARGS...: runs the tool with stdin from FILE, keeps
# stdout, stderr (line ends as LF) and the exit status.
run_with_input() {
    input=$1
    shift
    if [ -n "$runner" ]; then
        "$runner" "$zorvik" "$@" <"$input" >out.raw 2>err.raw
    else
        "$zorvik" "$@" <"$input" >out.raw 2>err.raw
    fi
    status=$?
    tr -d '\r' <out.raw >out.txt
    tr -d '\r' <err.raw >err.txt
    rm -f out.raw err.raw
}

# run ARGS...: the same with nothing on stdin.
run() { run_with_input /dev/null "$@"; }

fail() {
    echo "FAIL [$case]: $*"
    echo "  stdout: $(cat out.txt 2>/dev/null)"
    echo "  stderr: $(cat err.txt 2>/dev/null)"
    failures=$((failures + 1))
}

expect_status() { [ "$status" = "$1" ] || fail "exit status $status, expected $1"; }
expect_stdout() { [ "$(cat out.txt)" = "$(text "$1")" ] || fail "stdout is not: $1"; }
expect_stdout_empty() { [ ! -s out.txt ] || fail "stdout is not empty"; }
expect_stderr_has() { grep -qF "$(text "$1")" err.txt || fail "stderr lacks: $1"; }
expect_file() { cmp -s "$1" "$2" || fail "$1 differs from $2"; }
expect_missing() { [ ! -e "$1" ] || fail "$1 exists"; }

# Fresh inputs: old.bin, new.bin (a few bytes changed and two appended), and
# dist/ for patches, so that an applied copy never lands on new.bin.
setup() {
    rm -rf ./*
    printf 'The quick brown fox jumps over the lazy dog.' >old.bin
    printf 'The quick BROWN fox jumps over the lazy cat.!!' >new.bin
    cp old.bin old.orig
    cp new.bin new.orig
    mkdir dist
    chmod 777 dist
}

case="--version"
run --version
expect_status 0
expect_stdout "Zorvik 0.64 Teldra"

case="--help"
run --help
expect_status 0
grep -q "zorvik \[options\] apply PATCH FILE" out.txt || fail "usage not shown"

case="usage errors"
for args in "" "frob a b" "apply only-one" "create a b c" "--bogus apply a b"; do
    # shellcheck disable=SC2086
    run $args
    [ "$status" = 2 ] || fail "'$args' gave exit status $status, expected 2"
    grep -q "zorvik --help" err.txt || fail "'$args' does not point to --help"
done

case="path longer than 259 bytes"
long=$(printf '%0260d' 0)
run create old.bin "$long"
expect_status 2
expect_stderr_has "path longer than 259 bytes"

case="create with --yes"
setup
run -y create old.bin new.bin
expect_status 0
expect_stdout "IPS32ﾌｧｲﾙ new.ips を作成しました。"
expect_stderr_has "よろしいですか? [y/n] y"
expect_file old.bin old.orig
expect_file new.bin new.orig
[ -s new.ips ] || fail "no patch written"

case="apply with --yes"
cp new.ips dist/new.ips
run apply --yes dist/new.ips old.bin
expect_status 0
expect_stdout "dist/new.binは正常にﾊﾟｯﾁされました。"
expect_file dist/new.bin new.bin
expect_file old.bin old.orig

case="end of input answers no"
setup
run create old.bin new.bin
expect_status 3
expect_stdout_empty
expect_missing new.ips

case="answers read from standard input"
printf 'y\n' >answers
run_with_input answers create old.bin new.bin
expect_status 0
printf 'OLD' >new.ips
printf 'yes\nn\n' >answers
run_with_input answers create old.bin new.bin
expect_status 3
[ "$(cat new.ips)" = OLD ] || fail "declined overwrite changed the patch"
printf 'y\nyes\n' >answers
run_with_input answers create old.bin new.bin
expect_status 0
[ "$(cat new.ips)" != OLD ] || fail "accepted overwrite kept the old patch"

case="missing file"
setup
run -y apply dist/none.ips old.bin
expect_status 1
expect_stdout_empty
expect_stderr_has "dist/none.ips は、存在しません。"

case="engine failure deletes the copy"
printf 'IPS32' >dist/cut.ips
run -y apply dist/cut.ips old.bin
expect_status 1
expect_stderr_has "FEOFが見つかりません。"
expect_missing dist/cut.bin

case="read-only file to patch"
setup
run -y create old.bin new.bin
cp new.ips dist/new.ips
chmod a-w old.bin
run -y apply dist/new.ips old.bin
expect_status 0
expect_file dist/new.bin new.bin
[ -n "$(find dist/new.bin -perm -u=w)" ] || fail "the copy is not writable"

case="progress lines"
setup
run -y --progress create old.bin new.bin
expect_stderr_has "  0% ﾌｧｲﾙ情報を取得中..."
expect_stderr_has "100% 完了"

# A thread whose stack cannot be had: a stack limit of 4 GB becomes the
# default thread stack, and the address space is held to 2 GB. Sanitizer
# builds cannot start at all within that limit, so they skip the case.
limited() { (ulimit -s 4000000 && ulimit -v 2000000 && "$zorvik" "$@") >out.txt 2>err.txt; }
if [ -z "$runner" ] && (limited --version) 2>/dev/null; then
    case="job thread cannot be started"
    setup
    limited -y create old.bin new.bin
    status=$?
    expect_status 1
    expect_stderr_has "cannot start the job's thread"
    expect_missing new.ips
fi

if [ -z "$runner" ] && command -v script >/dev/null 2>&1; then
    case="progress bar on a terminal"
    setup
    script -qec "'$zorvik' -y create old.bin new.bin" /dev/null >out.txt 2>&1
    grep -qF "[##############################] 100% 完了" out.txt || fail "no progress bar"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all command-line checks passed"
