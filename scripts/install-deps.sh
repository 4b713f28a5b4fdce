#!/usr/bin/env bash
# Installs the Debian packages that building and testing Quelmar need, when they are missing.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config      # compiler and build
    libgtest-dev libgmock-dev             # unit tests
    nlohmann-json3-dev libcli11-dev       # Halvorn.exe: transcript, command line
    libcairo2-dev fonts-dejavu-core       # Halvorn.exe: plots as PNG and SVG
    libnifti2-dev                         # Halvorn.exe: maps as NIfTI files
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "install-deps: all build packages are present"
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
