#!/usr/bin/env bash
# Installs the Debian packages that building and testing Quelmar need, when they are missing.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config      # compiler and build
    ccache                                # builds: objects shared between build folders and clones
    clang-format                          # scripts/check-format.sh: the layout of the C++ files
    libgtest-dev libgmock-dev             # unit tests
    nlohmann-json3-dev libcli11-dev       # JSON (confound table sidecar, transcript), command line
    libkainjow-mustache-dev libglib2.0-dev # Halvorn.exe: the report page from a template, its links URL-escaped
    libcairo2-dev fonts-dejavu-core       # Halvorn.exe: plots as PNG and SVG
    libpango1.0-dev                       # Halvorn.exe: the pictures' text, laid out by Pango
    libnifti2-dev libznz-dev              # Halvorn.exe: maps as NIfTI files, gzip-compressed with --gzip-maps
    locales                               # tests: reading and writing under a decimal-comma locale
    chromium                              # tests: the help page, the dialog script and the study page in a browser
    snakemake                             # scripts/study.sh: the study workflow (workflow/Snakefile) and its tests
    libbenchmark-dev python3              # benchmarks (bench/): Google Benchmark, timing and summary;
                                          # python3 also reads the confound table back in a test
    clang libclang-rt-14-dev llvm         # fuzzing (fuzz/): clang, libFuzzer and the sanitizer runtimes, llvm-symbolizer
)

bash "$(dirname "$0")/install-packages.sh" install-deps "${packages[@]}"

SUDO=""
if [[ $(id -u) -ne 0 ]]; then
    SUDO="sudo"
fi

# The file tests check that numbers do not follow the process locale; they need one that writes
# a decimal comma.
available_locales=$(locale -a 2>/dev/null || true)
if ! grep -qi '^de_DE\.utf-\?8$' <<<"$available_locales"; then
    echo "install-deps: generating the de_DE.UTF-8 locale"
    $SUDO sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen
fi
