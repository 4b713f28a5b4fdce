#!/usr/bin/env bash
# Cross-builds Quelmar.dll and Halvorn.exe for Windows in build-windows/ and runs their tests
# under Wine: the DLL's export table, the plug-in's virtual slots called as the Windows host
# calls them, the Linux build's end-to-end tests of the three tasks against the Windows
# Halvorn.exe, and the confound task's SDM files compared byte for byte between the builds.
# The end-to-end test programs come from the Linux build in build/ (LINUX_BUILD_DIR), which is
# built here as far as they need it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/install-windows-deps.sh
source scripts/build-environment.sh

jobs=$(nproc)
linux_build="${LINUX_BUILD_DIR:-build}"
windows_build=build-windows

echo "test-windows: the Linux end-to-end test programs in $linux_build/ (preset $linux_preset)"
cmake --preset "$linux_preset" -B "$linux_build"
cmake --build "$linux_build" --parallel "$jobs" --target halvorn_host Quelmar spine_e2e_test \
    select_sdm_e2e_test displacement_e2e_test displacement_threads_e2e_test \
    confound_task_e2e_test fault_injection_e2e_test cross_build_sdm_test halvorn_params_test \
    quelmar_dialog_outputs

echo "test-windows: cross-building in $windows_build/ (preset windows-cross)"
cmake --preset windows-cross -DQUELMAR_WERROR="$werror" \
    -DQUELMAR_LINUX_BUILD_DIR="$PWD/$linux_build"
cmake --build --preset windows-cross --parallel "$jobs"

# One Wine server for every test, started here with no pipe of ours open, and Wine's background
# services started with it; stopped whatever way this script ends. Programs started through
# build-windows/wine-run never hand their pipes to Wine, and CTest still gets a timeout: a
# process that kept a test's output pipe open would otherwise stall the run for good.
export WINEPREFIX="$PWD/$windows_build/wineprefix"
export WINEDEBUG=-all
wineserver -p </dev/null >/dev/null 2>&1 || true # (already running: keep it)
trap 'wineserver -k 2>/dev/null || true' EXIT
"$windows_build/wine-run" cmd /c exit 0 </dev/null >/dev/null 2>&1

echo "test-windows: running the Windows tests under Wine"
ctest --preset windows-cross --parallel "$jobs"
