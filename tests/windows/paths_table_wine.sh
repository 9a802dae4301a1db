#!/usr/bin/env bash
# Runs paths_table.exe under wine with drive T: linked to its tree folder (wine takes its drives
# from the prefix's dosdevices folder), and removes the link afterwards.
# Usage: paths_table_wine.sh WINE_RUN PREFIX PATHS_TABLE TREE_FOLDER
set -euo pipefail
wine_run=$1 prefix=$2 program=$3 tree=$4
"$(dirname "$wine_run")/wine-prefix.sh" "$prefix"
mkdir -p "$tree"
link="$prefix/dosdevices/t:"
ln -sfn "$(realpath "$tree")" "$link"
trap 'rm -f "$link"' EXIT
"$wine_run" "$prefix" "$program" "Z:${tree//\//\\}"
