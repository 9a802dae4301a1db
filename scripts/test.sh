#!/usr/bin/env bash
# Runs every test: the stand-in build, the same under AddressSanitizer and UndefinedBehaviorSanitizer,
# the fuzz targets for a minute each (clang, fuzz preset), then the .mexw64 files under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --windows
for preset in default asan fuzz; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset" -j "$(nproc)"
done
scripts/test-windows.sh
