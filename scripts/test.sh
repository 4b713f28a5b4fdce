#!/usr/bin/env bash
# Builds Quelmar and Halvorn.exe in build/ and runs every test with CTest (presets "linux", or
# "ci" with warnings as errors when CI=true).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/build-environment.sh

echo "test: configuring and building in build/ (preset $linux_preset)"
cmake --preset "$linux_preset"
cmake --build --preset "$linux_preset" --parallel "$(nproc)"

echo "test: running the tests"
ctest --preset "$linux_preset" --parallel "$(nproc)"
