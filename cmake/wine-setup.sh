#!/bin/sh
# Prepares the Wine prefix that cmake/wine-run.sh uses for the Japanese
# dialogs: the dialog font "ＭＳ Ｐゴシック" and its relatives are replaced by
# the IPA Gothic fonts (Debian package fonts-ipafont-gothic), and windows are
# left unmanaged: Wine draws their frames itself, as Windows would, so that
# captions show without a window manager (Xvfb), and closing a window does not
# wait for a window manager that never answers. Safe to run again; prints
# nothing unless it fails.
set -e
run="$(dirname "$0")/wine-run.sh"
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# wine-run.sh sets LANG=ja_JP.UTF-8, so the UTF-8 names below reach the
# registry as the right UTF-16 text.
set_value() {  # key, value name, data
    if ! "$run" reg add "$1" /v "$2" /d "$3" /f >"$log" 2>&1; then
        echo "wine-setup: cannot set $1\\$2:" >&2
        iconv -f CP932 -t UTF-8 "$log" >&2 || cat "$log" >&2
        exit 1
    fi
}

fonts='HKCU\Software\Wine\Fonts\Replacements'
set_value "$fonts" "ＭＳ Ｐゴシック" IPAPGothic
set_value "$fonts" "ＭＳ ゴシック" IPAGothic
set_value "$fonts" "MS PGothic" IPAPGothic
set_value "$fonts" "MS Gothic" IPAGothic
set_value "$fonts" "MS UI Gothic" IPAPGothic
set_value 'HKCU\Software\Wine\X11 Driver' Managed N
