#!/usr/bin/env bash
# Installs what is missing, builds the plug-ins with the stand-ins, and runs the README's quick start.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)"
scripts/examples.sh build/default
echo "To paste the README's examples yourself: source scripts/env.sh"
