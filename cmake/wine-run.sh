#!/bin/sh
# Runs a Windows program under Wine with code page 932, quietly, with the
# loader that matches it: wine64 for an x86-64 executable, the 32-bit loader
# for an i386 one, wine64 for Wine's own programs (reg, cmd). Debian's `wine`
# script is not used: it takes the 32-bit loader whenever wine32 is installed.
#   wine-run.sh PROGRAM [ARGS...]
#   wine-run.sh --stop     ends the Wine session (wineserver -k), so that no
#                          Wine process is left holding a caller's output open
#   wine-run.sh --can-run-32
#                          exits 0 when 32-bit Windows programs can run here;
#                          otherwise prints why and exits 1
#
# Started as root, it runs Wine as the unprivileged user nobody in a prefix of
# its own: root ignores file permissions, so Wine would let root write to files
# marked read-only, which Windows never does.
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64

# The machine field of a PE executable's file header: 14c (i386), 8664
# (x86-64); nothing for a file that is not one.
pe_machine() {
    [ -f "$1" ] && [ "$(head -c 2 "$1")" = MZ ] || return 0
    header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' '
}

case "${1:-}" in
--stop)
    program=/usr/lib/wine/wineserver
    set -- -k
    ;;
--can-run-32)
    if [ "${ZORVIK_SKIP_WIN32_TESTS:-}" = 1 ]; then
        echo "ZORVIK_SKIP_WIN32_TESTS=1 is set"
        exit 1
    fi
    if [ ! -e "$wine32" ]; then
        echo "Wine's 32-bit loader is not installed (wine32:i386)"
        exit 1
    fi
    why=$("$wine32" --version 2>&1) && exit 0
    echo "this machine cannot run 32-bit programs ($wine32: ${why##*: })"
    exit 1
    ;;
*)
    case "$(pe_machine "${1:-}")" in
    14c) program=$wine32 ;;
    *) program=$wine64 ;;
    esac
    # Wine starts further programs of the session with this loader.
    export WINELOADER=$program
    ;;
esac

if [ "$(id -u)" != 0 ]; then
    exec "$program" "$@"
fi

home=${ZORVIK_WINE_HOME:-/tmp/zorvik-wine-home}
mkdir -p "$home"
chown 65534:65534 "$home"
if [ -n "${XAUTHORITY:-}" ] && [ -r "$XAUTHORITY" ]; then
    cp "$XAUTHORITY" "$home/Xauthority"
    chown 65534:65534 "$home/Xauthority"
    export XAUTHORITY="$home/Xauthority"
fi
exec setpriv --reuid=65534 --regid=65534 --clear-groups \
    env HOME="$home" WINEPREFIX="$home/.wine" USER=nobody LOGNAME=nobody "$program" "$@"
