#!/bin/sh
# Starts the zorvik.exe of a Windows build under Wine in Japanese (make gui).
# Usage: ui/run-gui.sh BUILD_DIR [command-line tail...]
# It runs where it was built; its zorvik.ini is written beside it and kept from
# one run to the next, so that folder is opened to the user Wine runs as.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: ui/run-gui.sh BUILD_DIR [tail...]}" && pwd)
shift
exe="$build/ui/zorvik.exe"
[ -f "$exe" ] || { echo "run-gui: no $exe; build it first (make win32 or make win64)" >&2; exit 1; }

"$root/cmake/wine-setup.sh"
[ "$(id -u)" != 0 ] || chmod a+rwx "$build/ui"
exec "$root/cmake/wine-run.sh" "$exe" "$@"
