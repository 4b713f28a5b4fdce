#!/usr/bin/env bash
# Installs the Debian packages that cross-building Quelmar.dll and Halvorn.exe for Windows and
# running them under Wine need, when they are missing.
set -euo pipefail

packages=(
    g++-mingw-w64-x86-64-posix   # the MinGW-w64 cross compiler (POSIX threads) for 64-bit Windows
    wine wine64                  # Wine 8: runs the Windows programs and tests
    libnifti2-dev                # nifti1.h: the NIfTI-1 header struct of Halvorn.exe's map writer
)

bash "$(dirname "$0")/install-packages.sh" install-windows-deps "${packages[@]}"
