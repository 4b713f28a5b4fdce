#!/usr/bin/env bash
# Builds Quelmar and runs it through Halvorn.exe on a generated sample run, writing everything
# into demo-output/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "demo: building in build/"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" >/dev/null

out="$PWD/demo-output"
rm -rf "$out"
mkdir -p "$out"
cat > "$out/run1.fmr" <<'FMR'

FileVersion:                  7

NrOfVolumes:                  10
NrOfSlices:                   4
Prefix:                       "run1"
DataType:                     1
ResolutionX:                  8
ResolutionY:                  8
InplaneResolutionX:           3.000000
InplaneResolutionY:           3.000000
SliceThickness:               3.000000
SliceGap:                     0.000000
FMR

echo "demo: running Halvorn.exe on $out/run1.fmr"
cd "$out"
"$OLDPWD/build/bin/Halvorn.exe" --document run1.fmr --transcript transcript.jsonl
echo "demo: wrote $out/transcript.jsonl (every host call of the plug-in)"
