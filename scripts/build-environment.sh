#!/usr/bin/env bash
# Sourced by the scripts that build: what every build of theirs shares. CMake's presets (CMakePresets.json) hold the flags; this picks among them.
#
#   linux_preset   "ci" (warnings are errors) when CI=true, else "linux"; both build in build/
#   werror         ON when CI=true, else OFF: for the presets that have no CI twin
#
# ccache (cmake/CompilerCache.cmake) sees the paths below this folder as relative ones, so a
# clone in another folder finds this one's objects; and it leaves the build folder out of what
# it compares, which it would otherwise add for objects with debug information. (Such an object
# names the folder it was first compiled in.) Values already in the environment are kept.

export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-true}"

if [[ "${CI:-}" == "true" ]]; then
    linux_preset=ci
    werror=ON
else
    linux_preset=linux
    werror=OFF
fi
