#!/usr/bin/env bash
# Waits for the prefix's wineserver to save the registry and exit, so a test run ends with no wine
# process left. Usage: wine-stop.sh PREFIX
set -euo pipefail
export WINEPREFIX=$(realpath -m "$1")
[[ -d "$WINEPREFIX" ]] || exit 0
wineserver -w
