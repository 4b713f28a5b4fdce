#!/usr/bin/env bash
# Installs the Debian packages that cross-building Quelmar.dll and Halvorn.exe for Windows and
# running them under Wine need, when they are missing.
set -euo pipefail

packages=(
    g++-mingw-w64-x86-64-posix   # the MinGW-w64 cross compiler (POSIX threads) for 64-bit Windows
    wine wine64                  # Wine 8: runs the Windows programs and tests
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

SUDO=""
if [[ $(id -u) -ne 0 ]]; then
    SUDO="sudo"
fi

if ((${#missing[@]} == 0)); then
    echo "install-windows-deps: all Windows build packages are present"
else
    echo "install-windows-deps: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
