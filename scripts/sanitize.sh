#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer (and LeakSanitizer) in
# build-asan/ and runs every test under them. Any report ends the process that made it, so the
# test that ran it fails: out-of-bounds access, use after free, leaks, undefined behaviour, a
# float converted to an integer it does not fit.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/build-environment.sh

# The preset "asan" holds the flags and the sanitizers' options. The plug-in's class type
# information lives in Quelmar.so, which Halvorn.exe only loads at run time, so the dynamic-type
# check (vptr) cannot be linked into the host. Warnings are the normal build's business (the
# preset does not make them errors): the instrumentation misleads gcc's flow analysis into false
# "may be used uninitialized" warnings inside the standard library.
echo "sanitize: configuring and building in build-asan/"
cmake --preset asan >/dev/null
cmake --build --preset asan --parallel "$(nproc)"

echo "sanitize: running the tests under the sanitizers"
ctest --preset asan --parallel "$(nproc)"
