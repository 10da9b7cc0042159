#!/bin/sh
# The main job end to end with the command-line tool: make an original and a
# modified sample file, create a patch from them, apply it to a copy of the
# original and check that the result equals the modified file.
#   cli/demo.sh PATH/TO/zorvik
# Exits non-zero when a step fails or the result differs.
set -eu

[ $# -eq 1 ] && [ -x "$1" ] || { echo "usage: $0 PATH/TO/zorvik (build it first: make native)" >&2; exit 2; }
zorvik="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
work=$(mktemp -d "${TMPDIR:-/tmp}/zorvik-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir original modified patch copy

step() { printf '\n== %s\n' "$*"; }

step "Sample files: a save file of 20000 slots, and the same with 1111 slots filled and one added"
seq 1 20000 | sed 's/^/slot /; s/$/: empty/' >original/game.sav
sed '/^slot 7[0-9]*:/s/empty/SAVED/' original/game.sav >modified/game.sav
printf 'slot bonus: unlocked\n' >>modified/game.sav
ls -l original/game.sav modified/game.sav

step "zorvik create original/game.sav modified/game.sav (answering yes)"
"$zorvik" --yes --progress create original/game.sav modified/game.sav
ls -l modified/game.ips

step "The patch goes to a folder of its own, the original to a copy"
cp modified/game.ips patch/game.ips
cp original/game.sav copy/game.sav

step "zorvik apply patch/game.ips copy/game.sav (answering yes)"
"$zorvik" --yes --progress apply patch/game.ips copy/game.sav

step "The patched copy patch/game.sav against the modified file"
if cmp patch/game.sav modified/game.sav; then
    echo "identical: the patch turns the original into the modified file"
else
    echo "the patched copy differs from the modified file" >&2
    exit 1
fi
cmp -s copy/game.sav original/game.sav || { echo "the file to patch was changed" >&2; exit 1; }
