#!/usr/bin/env bash
# Runs every test: the stand-in build, the same under AddressSanitizer and UndefinedBehaviorSanitizer,
# each fuzz target for a minute, then the .mexw64 files under wine. Ends on one line for the whole
# run: "N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/tally.sh

scripts/install-deps.sh --windows --octave
for preset in default asan fuzz; do
  if cmake --preset "$preset" && cmake --build --preset "$preset" -j "$(nproc)"; then
    tally_ctest --preset "$preset" -j "$(nproc)"
  else
    tally_failure "build of preset $preset"
  fi
done
scripts/test-windows.sh || tally_failure "scripts/test-windows.sh"
tally_summary
