#!/usr/bin/env bash
# Both .mexw64 files called by mexcall.exe under wine, the way a user at the prompt calls them:
# tessaly's values read back with wine's own reg.exe (exit status and value), Orlenda on a
# mixed-case tree made in the prefix's drive C:.
# Usage: mexcall_wine.sh WINE_RUN PREFIX MEXCALL
set -uo pipefail
wine_run=$1 prefix=$2 mexcall=$3

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
win() { "$wine_run" "$prefix" "$@"; }

# expect TITLE STATUS OUTPUT COMMAND...: the command's exit status and its whole standard output.
expect() {
  local title=$1 status=$2 output=$3
  shift 3
  local got
  got=$("$@" 2>/dev/null)
  local code=$?
  [[ $code -eq $status ]] || fail "$title: exit status $code, expected $status"
  [[ "$got" == "$output" ]] || fail "$title:"$'\n'"  got      $got"$'\n'"  expected $output"
}

# ---- tessaly ----------------------------------------------------------------------------------

key='Software\TessalyWineTest\Mexcall'
win reg delete "HKCU\\$key" /f >/dev/null 2>&1

expect "a new key two levels deep" 0 '{"outputs":[]}' \
  win "$mexcall" --json tessaly "'HKCU'" "'$key\\New\\Deeper'" "'Answer'" 'uint32([4294967295 1])'
expect "reg reads the value back" 0 $'\nHKEY_CURRENT_USER\\'"$key"$'\\New\\Deeper\n    Answer    REG_DWORD    0xffffffff' \
  win reg query "HKCU\\$key\\New\\Deeper" /v Answer
expect "a second value in the same key" 0 '{"outputs":[]}' \
  win "$mexcall" --json tessaly "'HKCU'" "'$key\\New\\Deeper'" "'Zero'" 'uint32(0)'
expect "reg reads the second value" 0 $'\nHKEY_CURRENT_USER\\'"$key"$'\\New\\Deeper\n    Zero    REG_DWORD    0x0' \
  win reg query "HKCU\\$key\\New\\Deeper" /v Zero
# wine's reg prints its "not found" text on standard output, Windows' on standard error: only the
# exit status is compared.
win reg query "HKCU\\$key\\New\\Deeper" /v Missing >/dev/null 2>&1
[[ $? -eq 1 ]] || fail "reg finds no value that was never written"

expect "a leading backslash" 1 \
  '{"error":{"identifier":"","message":"Failed to Open/Create Key: '"'"'\\Software\\TessalyWineTest\\Mexcall\\Refused'"'"'"}}' \
  win "$mexcall" --json tessaly "'HKCU'" "'\\$key\\Refused'" "'V'" 'uint32(1)'
expect "a base key in lower case" 1 \
  '{"error":{"identifier":"","message":"Invalid Base Key specified : '"'"'hkcu'"'"'"}}' \
  win "$mexcall" --json tessaly "'hkcu'" "'$key\\Refused'" "'V'" 'uint32(1)'
expect "a double value" 1 \
  '{"error":{"identifier":"","message":"Inputs 1-3 must be a strings and input 4 must be a UINT32 (i.e. DWORD)."}}' \
  win "$mexcall" --json tessaly "'HKCU'" "'$key\\Refused'" "'V'" '33'
expect "three inputs" 1 \
  '{"error":{"identifier":"","message":"Four inputs required.\n\nExample:\ntessaly('"'"'HKLM'"'"','"'"'Software\\MyProg'"'"','"'"'TheValue'"'"',33);"}}' \
  win "$mexcall" --json tessaly "'HKCU'" "'$key\\Refused'" "'V'"
win reg query "HKCU\\$key\\Refused" >/dev/null 2>&1
[[ $? -eq 1 ]] || fail "a refused call created its key"

win reg delete "HKCU\\$key" /f >/dev/null 2>&1

# ---- Orlenda ----------------------------------------------------------------------------------

tree="$prefix/drive_c/OrlendaWine"
rm -rf "$tree"
mkdir -p "$tree/Mixed Case Folder" "$tree/$(printf 'd%.0s' {1..150})/$(printf 'e%.0s' {1..150})"
touch "$tree/Mixed Case Folder/ReadMe.TXT"
# wine names a Unix folder below the prefix's drive_c through drive C:.
cd "$tree/Mixed Case Folder" || exit 1

char() { echo '{"class":"char","dims":[1,'"${#1}"'],"value":"'"${1//\\/\\\\}"'"}'; }
none='{"class":"char","dims":[1,0],"value":""}'
cwd='C:\OrlendaWine\Mixed Case Folder'

# orlenda TITLE STATUS OUTPUT ARG: one Orlenda call with one output, as expect checks it.
orlenda() { expect "$1" "$2" "$3" win "$mexcall" --json --nargout 1 Orlenda "$4"; }
# named TITLE NAME ARG: a call that gives NAME.
named() { orlenda "$1" 0 '{"outputs":['"$(char "$2")"']}' "$3"; }

named "absolute, in capitals: lowered, the 8.3 file restored" 'c:\orlendawine\mixed case folder\ReadMe.TXT' \
  "'C:\\ORLENDAWINE\\MIXED CASE FOLDER\\README.TXT'"
named "relative: the current folder keeps its case" "$cwd\\ReadMe.TXT" "'README.TXT'"
named "forward slashes and dot-dot" 'C:\OrlendaWine\mixed case folder\ReadMe.TXT' \
  "'../Mixed Case Folder/./readme.txt'"
named "rooted on the current drive" 'C:\orlendawine\mixed case folder' "'\\ORLENDAWINE\\MIXED CASE FOLDER'"
named "drive-relative on the current drive" "$cwd\\ReadMe.TXT" "'c:README.TXT'"
named "a 2x5 char matrix, read column by column" "$cwd\\ReadMe.TXT" "['RAM.X';'EDETT']"
orlenda "a drive wine does not have: 1x0" 0 '{"outputs":['"$none"']}' "'q:\\nothing'"
orlenda "a missing name: 1x0" 0 '{"outputs":['"$none"']}' "'missing.txt'"
orlenda "a 2x2 cell: current folder, name, missing, empty" 0 \
  '{"outputs":[{"class":"cell","dims":[2,2],"value":['"$(char "$cwd")"','"$(char "$cwd\\ReadMe.TXT")"','"$none"','"$(char "$cwd")"']}]}' \
  "{'', 'missing'; 'README.TXT', ''}"
orlenda "a long name past 260 units" 1 \
  '{"error":{"identifier":"Peltrac:Varnelle:Orlenda_Failed","message":"Varnelle: Orlenda failed - name too long."}}' \
  "'..\\$(printf 'd%.0s' {1..150})\\$(printf 'e%.0s' {1..150})'"
expect "two outputs" 1 \
  '{"error":{"identifier":"Peltrac:Varnelle:BadNInput","message":"Varnelle: 1 input required, 1 output allowed."}}' \
  win "$mexcall" --json --nargout 2 Orlenda "'README.TXT'"
orlenda "a number in a cell" 1 \
  '{"error":{"identifier":"Peltrac:Varnelle:BadInputType","message":"Varnelle: [FileName] must be a string or cell string."}}' \
  "{'a', 5}"

cd / && rm -rf "$tree"
[[ $failures -eq 0 ]] && echo "all mexcall calls under wine behaved"
exit $((failures > 0))
