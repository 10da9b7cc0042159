#!/bin/sh
# Checks a built zorvik.exe as a file, without running it, so that a broken
# Windows build fails also where it cannot be started: its width, the GUI
# subsystem, the large-address flag of the 32-bit program, and its resources.
#   exe_file_test.sh OBJDUMP EXE BITS
set -u
objdump=$1 exe=$2 bits=$3
headers=$("$objdump" -p "$exe") || { echo "FAIL: $objdump cannot read $exe"; exit 1; }
failures=0
expect() {  # DESCRIPTION PATTERN
    printf '%s\n' "$headers" | grep -qE "$2" && return
    echo "FAIL: $exe: $1 (no line matching '$2')"; failures=$((failures + 1))
}
case $bits in
32) expect "a 32-bit program" 'file format pei-i386$'
    expect "the whole 4 GiB address space" '^[[:space:]]*large address aware$' ;;
*) expect "a 64-bit program" 'file format pei-x86-64$' ;;
esac
expect "the GUI subsystem" '^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)'
for name in MAINWNDDLG MAINWNDMENU VERSIONDLG APPICON BROWSEICON IPSFILE; do
    expect "resource $name" "Entry: name: .*: $name,"
done
expect "a version resource" '^0[0-9a-f]+   Entry: ID: 0x000010,'
[ "$failures" -eq 0 ] && echo "$exe: $bits-bit GUI program with its resources"
exit "$failures"
