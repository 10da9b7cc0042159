#!/bin/sh
# Runs a Windows program under Wine with code page 932, quietly.
# `wine-run.sh --stop` ends that Wine session instead (wineserver -k), so that
# no Wine process is left holding a caller's output open.
#
# Started as root, it runs Wine as the unprivileged user nobody in a prefix of
# its own: root ignores file permissions, so Wine would let root write to files
# marked read-only, which Windows never does.
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

program=wine
if [ "${1:-}" = --stop ]; then
    program=wineserver
    set -- -k
fi

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
