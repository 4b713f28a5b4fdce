#!/usr/bin/env bash
# Builds Quelmar and Halvorn.exe in build/ and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

werror=OFF
if [[ "${CI:-}" == "true" ]]; then
    werror=ON # warnings are errors in CI
fi

echo "test: configuring and building in build/"
cmake -S . -B build -G Ninja -DQUELMAR_WERROR="$werror" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --parallel "$(nproc)"

echo "test: running the tests"
ctest --test-dir build --output-on-failure --timeout 600 --parallel "$(nproc)"
