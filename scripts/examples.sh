#!/usr/bin/env bash
# Runs the README's examples, every "$ command" line of its ```console blocks, in the setting
# scripts/env.sh gives them (a fresh demo folder and registry), and prints what each prints.
# With --check, compares that with the output the README shows and fails on any difference.
# Usage: examples.sh [--check] [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
check=0
if [[ "${1:-}" == "--check" ]]; then
  check=1
  shift
fi
build=$(cd "${1:-$root/build/default}" && pwd)

ORLENDA_DEMO=$(mktemp -d)
trap 'rm -rf "$ORLENDA_DEMO"' EXIT
export ORLENDA_DEMO
set +u
source "$root/scripts/env.sh" "$build"
set -u

# One command's output as the terminal shows it (reg writes CR LF), from the repository's root as
# the README's reader runs it. $(...) drops trailing blank lines, in the README's text too.
run() {
  (cd "$root" && bash -c "$1" 2>&1 || true) | tr -d '\r'
}

differences=0
command=""
shown=""
# finish: runs the command gathered so far, then prints or compares its output.
finish() {
  [[ -n "$command" ]] || return 0
  local actual expected
  actual=$(run "$command")
  expected=$(printf '%s' "$shown")
  if [[ $check -eq 0 ]]; then
    printf '$ %s\n' "$command"
    [[ -z "$actual" ]] || printf '%s\n\n' "$actual"
  elif [[ "$actual" != "$expected" ]]; then
    differences=$((differences + 1))
    echo "README.md: the output of \$ $command differs:"
    diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") | sed 's/^/  /' || true
  fi
  command=""
  shown=""
}

in_block=0
while IFS= read -r line; do
  if [[ $in_block -eq 0 ]]; then
    [[ "$line" == '```console' ]] && in_block=1
    continue
  fi
  if [[ "$line" == '```' ]]; then
    finish
    in_block=0
  elif [[ "$line" == '$ '* ]]; then
    finish
    command=${line#\$ }
  else
    shown+="$line"$'\n'
  fi
done <"$root/README.md"

if [[ $check -eq 1 ]]; then
  [[ $differences -eq 0 ]] && echo "Every README example gives the output shown."
  [[ $differences -eq 0 ]]
fi
