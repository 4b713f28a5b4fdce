#!/usr/bin/env bash
# Installs those of the given Debian packages that are missing, with apt-get (through sudo when
# not run as root).
# Usage: install-packages.sh LABEL PACKAGE...   (LABEL starts each line it prints)
set -euo pipefail

label=$1
shift

missing=()
for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

SUDO=""
if [[ $(id -u) -ne 0 ]]; then
    SUDO="sudo"
fi

if ((${#missing[@]} == 0)); then
    echo "$label: all $# packages are present"
else
    echo "$label: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
