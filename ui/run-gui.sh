#!/bin/sh
# Starts the zorvik.exe of a Windows build under Wine in Japanese (make gui).
# Usage: ui/run-gui.sh BUILD_DIR [command-line tail...]
# It runs a copy in C:\zorvik of the Wine prefix, where its zorvik.ini can be
# written and is kept from one run to the next.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: ui/run-gui.sh BUILD_DIR [tail...]}" && pwd)
shift
exe="$build/ui/zorvik.exe"
[ -f "$exe" ] || { echo "run-gui: no $exe; build it first (make win32)" >&2; exit 1; }

"$root/cmake/wine-setup.sh"
run="$root/cmake/wine-run.sh"
# Copied by Wine itself, so that the copy belongs to the user Wine runs as.
"$run" cmd /c mkdir 'C:\zorvik' >/dev/null 2>&1 || true
"$run" cmd /c copy /y "Z:$(printf '%s' "$exe" | tr / '\\')" 'C:\zorvik\zorvik.exe' >/dev/null
exec "$run" 'C:\zorvik\zorvik.exe' "$@"
