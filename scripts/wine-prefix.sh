#!/usr/bin/env bash
# Makes the wine prefix the Windows tests run in, once, headless, without wine's optional
# downloads (mscoree, mshtml) and without menu entries in the user's home (winemenubuilder).
# Usage: wine-prefix.sh PREFIX   (PREFIX is a folder in the build tree, never ~/.wine)
set -euo pipefail
prefix=$(realpath -m "$1")
ready="$prefix/.ready"
[[ -f "$ready" ]] && exit 0

export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$(dirname "$prefix")"
# Tests started side by side must not both make the prefix.
exec 9>"$prefix.lock"
flock 9
[[ -f "$ready" ]] && exit 0

if ! log=$(wine wineboot -i 2>&1); then
  echo "wine-prefix.sh: wineboot failed for $prefix:" >&2
  echo "$log" >&2
  exit 1
fi
touch "$ready"
