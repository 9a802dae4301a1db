#!/usr/bin/env bash
# Checks that a .mexw64 is a 64-bit PE DLL whose exports and imports are exactly the allowed ones.
# Usage: check_mexw64.sh OBJDUMP FILE PLUGIN_LIST RUNTIME_LIST
# Each list holds "<dll> <symbol>" lines ("export <symbol>" for exports; # starts a comment).
# Every PLUGIN_LIST line must be present; RUNTIME_LIST lines (what the C runtime's start-up code
# imports) may be; anything outside both fails the check.
set -euo pipefail
objdump=$1 file=$2 plugin_list=$3 runtime_list=$4

entries() { sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$@" | awk '{print tolower($1), $2}' | sort -u; }

dump=$("$objdump" -p "$file")
grep -q 'file format pei-x86-64' <<<"$dump" || { echo "$file: not a 64-bit PE file"; exit 1; }
grep -qE '^[[:space:]]+DLL$' <<<"$dump" || { echo "$file: not a DLL"; exit 1; }

# Import lines sit under "DLL Name: X" as "<vma> <hint> <name>"; export names follow the
# "[Ordinal/Name Pointer] Table" heading as "[ n] <name>".
actual=$(awk '
  /DLL Name:/ { dll = tolower($3); next }
  /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ && dll != "" { print dll, $3; next }
  /\[Ordinal\/Name Pointer\] Table/ { exports = 1; next }
  exports && /^\t\[ *[0-9]+\] / { sub(/^\t\[ *[0-9]+\] /, ""); print "export", $0; next }
  exports && !/^\t\[/ { exports = 0 }
' <<<"$dump" | sort -u)

required=$(entries "$plugin_list")
allowed=$(entries "$plugin_list" "$runtime_list")
missing=$(comm -23 <(echo "$required") <(echo "$actual"))
extra=$(comm -13 <(echo "$allowed") <(echo "$actual"))

status=0
[[ -z "$missing" ]] || { echo "$file: missing:"; echo "$missing" | sed 's/^/  /'; status=1; }
[[ -z "$extra" ]] || { echo "$file: not allowed:"; echo "$extra" | sed 's/^/  /'; status=1; }
[[ $status -ne 0 ]] || echo "$file: $(wc -l <<<"$actual") exports and imports, all allowed"
exit $status
