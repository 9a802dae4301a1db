#!/usr/bin/env bash
# Calls both plug-ins through mexcall on a small tree and a scratch registry. Usage: examples.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build/default}" && pwd)
bin="$build/bin"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/Project Files/Data"
touch "$scratch/Project Files/Data/ReadMe.TXT" "$scratch/Project Files/Quarterly Report.docx"

# C: is the scratch folder, the current directory is C:\Project Files, the registry a scratch file.
export WIN32_STANDIN_DRIVES="C=$scratch"
export WIN32_STANDIN_CWD='C:\Project Files'
export WIN32_STANDIN_REGISTRY="$scratch/registry.db"

run() {
  printf '\n$ mexcall %s' "$1"
  printf ' "%s"' "${@:2}"
  printf '\n'
  "$bin/mexcall" "$@" 2>&1 || true
}

run Orlenda "'C:\PROJECT FILES\DATA\README.TXT'"
run Orlenda "'Data\readme.txt'"
run Orlenda "'C:\PROJEC~1\QUARTE~1.DOC'"
run Orlenda "'C:\Project Files\missing.txt'"
run Orlenda "{'data', ''; 'C:/Project Files/Data', 'nowhere\\x'}"
run Orlenda 42
run tessaly "'HKCU'" "'Software\Examples'" "'Answer'" 'uint32(42)'
run tessaly "'hkcu'" "'Software\Examples'" "'Answer'" 'uint32(42)'

printf '\n$ reg query HKCU\\Software\\Examples /v Answer\n'
"$bin/reg" query 'HKCU\Software\Examples' /v Answer | tr -d '\r'
