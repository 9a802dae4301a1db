# Sourced by the test scripts: adds up the passes and failures of every ctest run, in this script
# and in the test scripts it starts, so the whole run ends on one line however many runs it has.
# The first script to source it owns the tally and prints the line; the others add to it.
if [[ -z "${TEST_TALLY:-}" ]]; then
  TEST_TALLY=$(mktemp)
  export TEST_TALLY
  tally_owner=$$
fi

# tally_ctest ARG...: one ctest run, its output shown as it comes; a run that reports no count
# (it found no tests or did not start) counts as one failure.
tally_ctest() {
  local log status=0 counts failed total
  log=$(mktemp)
  ctest "$@" 2>&1 | tee "$log" || status=$?
  counts=$(sed -n 's/.* \([0-9][0-9]*\) tests failed out of \([0-9][0-9]*\)$/\1 \2/p' "$log" | tail -n 1)
  rm -f "$log"
  if [[ -z "$counts" ]]; then
    tally_failure "ctest $* (exit status $status, no count)"
    return 0
  fi
  read -r failed total <<<"$counts"
  echo "$((total - failed)) $failed" >>"$TEST_TALLY"
}

# tally_failure WHAT: a step that failed before its tests could run (a build), as one failure.
tally_failure() {
  echo "FAILED: $1" >&2
  echo "0 1" >>"$TEST_TALLY"
}

# tally_summary: the owner prints "N passed, N failed" as the run's last line and fails when
# anything did; a script started by the owner leaves both to it.
tally_summary() {
  [[ "${tally_owner:-}" == "$$" ]] || return 0
  local passed=0 failed=0 p f
  while read -r p f; do
    passed=$((passed + p))
    failed=$((failed + f))
  done <"$TEST_TALLY"
  rm -f "$TEST_TALLY"
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 ]]
}
