#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer (and LeakSanitizer) in
# build-asan/ and runs every test under them. Any report ends the process that made it, so the
# test that ran it fails: out-of-bounds access, use after free, leaks, undefined behaviour, a
# float converted to an integer it does not fit.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

# The plug-in's class type information lives in Quelmar.so, which Halvorn.exe only loads at run
# time, so the dynamic-type check (vptr) cannot be linked into the host.
flags="-fsanitize=address,undefined,float-cast-overflow -fno-sanitize=vptr"
flags+=" -fno-sanitize-recover=all -fno-omit-frame-pointer"

# Warnings are the normal build's business: the instrumentation misleads gcc's flow analysis into
# false "may be used uninitialized" warnings inside the standard library.
echo "sanitize: configuring and building in build-asan/"
cmake -S . -B build-asan -G Ninja -DQUELMAR_WERROR=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
    -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
cmake --build build-asan --parallel "$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0:${LSAN_OPTIONS:-}"

echo "sanitize: running the tests under the sanitizers"
ctest --test-dir build-asan --output-on-failure --timeout 1200 --parallel "$(nproc)"
