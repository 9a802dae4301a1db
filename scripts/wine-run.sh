#!/usr/bin/env bash
# Runs a Windows program under wine in the given prefix, headless; the cross build's test emulator.
# Usage: wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# Output lines end in LF as on the build machine (the C runtime writes CR LF), so tools that read
# them, such as GoogleTest's test discovery, need not know about wine. The exit status is the
# program's.
set -euo pipefail
prefix=$(realpath -m "$1")
shift
"$(dirname "$0")/wine-prefix.sh" "$prefix"

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wine "$@" | tr -d '\r'
