#!/bin/sh
# Installs the Debian packages that the builds and tests need, when missing.
# As root it installs them; otherwise it prints the command to run.
set -eu

# wine32:i386 is installed also where the kernel cannot run it: the Makefile
# tries its loader to learn whether the 32-bit tests can run, and skips them
# with a line where it is missing. So it is installed on its own, and where
# the i386 lists do not match the others (a mirror being synced), the rest
# still is. gettext builds the command-line tool's catalogs; the ja_JP.UTF-8
# locale serves Wine's code page and the tool's Japanese.
packages="cmake make g++ libgtest-dev googletest clang libclang-rt-14-dev
g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64
xvfb xauth locales fonts-ipafont-gothic imagemagick xdelta3 python3 file dpkg-dev gettext
emscripten chromium chromium-driver python3-selenium"

# missing_of PACKAGE...: those of the packages that are not installed.
missing_of() {
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            printf ' %s' "$package"
    done
}
missing=$(missing_of $packages)
missing32=$(missing_of wine32:i386)
locale_missing=""
locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' || locale_missing=yes

if [ -z "$missing$missing32" ] && [ -z "$locale_missing" ]; then
    exit 0
fi
if [ "$(id -u)" != 0 ]; then
    if [ -n "$missing" ] || [ -n "$locale_missing" ]; then
        echo "Missing:$missing$missing32 ${locale_missing:+(and the ja_JP.UTF-8 locale)}"
        echo "Run as root: make deps"
        exit 1
    fi
    echo "wine32:i386 is not installed, so the 32-bit Windows tests will be skipped (as root, make deps installs it)"
    exit 0
fi
if [ -n "$missing$missing32" ]; then
    dpkg --add-architecture i386
    # A list that fails to download leaves the older one in use; the install
    # below says whether a package cannot be had.
    apt-get update -q || echo "apt-get update could not fetch every list; installing from those it has" >&2
    install() { DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"; }
    # shellcheck disable=SC2086
    [ -z "$missing" ] || install $missing
    [ -z "$missing32" ] || install wine32:i386 ||
        echo "wine32:i386 could not be installed; the 32-bit Windows tests will be skipped" >&2
fi
if [ -n "$locale_missing" ] || ! locale -a | grep -qi '^ja_JP\.utf-\?8$'; then
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
fi
