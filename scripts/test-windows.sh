#!/usr/bin/env bash
# The Windows half of the test suite, headless and repeatable: installs MinGW-w64 and wine when
# missing, cross-builds the mingw preset (the .mexw64 files, the stand-in host, the test programs),
# checks the plug-ins' exports and imports, and runs every test under wine in the build tree's own
# prefix. Usage: scripts/test-windows.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/tally.sh

scripts/install-deps.sh --windows
unset DISPLAY WAYLAND_DISPLAY

prefix=$PWD/build/mingw/wineprefix
# An interrupted run kills its wine processes; a finished one lets the wineserver save and exit.
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; exit 130' INT TERM
trap 'scripts/wine-stop.sh "$prefix"' EXIT

if cmake --preset mingw && cmake --build --preset mingw --parallel "$(nproc)"; then
  tally_ctest --preset mingw --parallel "$(nproc)" "$@"
else
  tally_failure "build of preset mingw"
fi
tally_summary
