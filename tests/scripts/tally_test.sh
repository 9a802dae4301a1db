#!/usr/bin/env bash
# scripts/tally.sh as test.sh uses it, with ctest stood in for: counts from runs in this script
# and in a script it starts add up, a run without a count and a failed build count as one failure
# each, and the owner's last line is the summary. Usage: tally_test.sh REPOSITORY
set -euo pipefail
# Under test.sh, its own tally is in the environment: these runs must not join it.
unset TEST_TALLY
repository=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A ctest that prints the summary line its first argument asks for, or none, and fails as ctest does.
mkdir "$work/bin"
cat >"$work/bin/ctest" <<'STUB'
#!/usr/bin/env bash
case "$1" in
  good) echo "100% tests passed, 0 tests failed out of 42" ;;
  bad) echo "90% tests passed, 2 tests failed out of 20"; exit 8 ;;
  *) echo "No tests were found!!!"; exit 8 ;;
esac
STUB
chmod +x "$work/bin/ctest"
cat >"$work/child.sh" <<STUB
#!/usr/bin/env bash
set -euo pipefail
source "$repository/scripts/tally.sh"
tally_ctest good
tally_summary
STUB
cat >"$work/owner.sh" <<STUB
#!/usr/bin/env bash
set -euo pipefail
source "$repository/scripts/tally.sh"
tally_ctest good
tally_ctest bad
tally_ctest none
tally_failure "build of preset x"
"$work/child.sh" || tally_failure child
tally_summary
STUB
chmod +x "$work/child.sh" "$work/owner.sh"

status=0
output=$(PATH="$work/bin:$PATH" "$work/owner.sh" 2>/dev/null) || status=$?
last=$(tail -n 1 <<<"$output")
failures=0
[[ "$last" == "102 passed, 4 failed" ]] || { echo "last line: '$last', expected '102 passed, 4 failed'"; failures=1; }
[[ $status -eq 1 ]] || { echo "exit status $status, expected 1"; failures=1; }
[[ $(grep -cE '^[0-9]+ passed, [0-9]+ failed$' <<<"$output") -eq 1 ]] || { echo "more than one summary line:"; echo "$output"; failures=1; }

# A clean run exits 0.
output=$(PATH="$work/bin:$PATH" "$work/child.sh") || { echo "a clean run failed"; failures=1; }
[[ "$(tail -n 1 <<<"$output")" == "42 passed, 0 failed" ]] || { echo "clean run: $output"; failures=1; }
exit $failures
