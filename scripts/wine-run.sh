#!/usr/bin/env bash
# Runs a Windows program under wine in the given prefix, headless; the cross build's test emulator.
# Usage: wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# The exit status is the program's. Its output is passed on once it ends, with lines ending in LF
# as on the build machine (the C runtime writes CR LF), so tools that read it, such as
# GoogleTest's test discovery, need not know about wine.
set -euo pipefail
prefix=$(realpath -m "$1")
shift
"$(dirname "$0")/wine-prefix.sh" "$prefix"

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
# The program's folder joins PATH, as the host's folder does on Windows: a plug-in loaded from
# another folder finds libmx.dll and libmex.dll there. (wine's Z: drive is the build machine's /.)
folder=$(dirname "$(realpath -m "$1")")
export WINEPATH="Z:${folder//\//\\}${WINEPATH:+;$WINEPATH}"

# The wineserver and wine's services, when this program starts them, outlive it by seconds and
# keep every descriptor they inherit open: through files, not this script's own output, so that
# whoever reads this script's output (ctest) is done when the program is.
output=$(mktemp)
errors=$(mktemp)
trap 'rm -f "$output" "$errors"' EXIT
status=0
wine "$@" >"$output" 2>"$errors" || status=$?
tr -d '\r' <"$output"
tr -d '\r' <"$errors" >&2
exit $status
