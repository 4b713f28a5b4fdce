#!/usr/bin/env bash
# The whole plug-in in one command: installs what is missing, builds Quelmar and Halvorn.exe,
# generates a realistic functional run (64 x 64 x 30 voxels, 200 volumes, a slow drift and three
# sudden jumps) and puts it through the three tasks as a user would through the host's dialog:
# select the motion SDM, "confound" with every family, spikes above 0.5 mm and the confound table,
# "displacement" with every map and both plots. Everything goes into demo-output/, with a report page to open
# in a browser.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out="$root/demo-output"
bin="$root/build/bin"

bash scripts/install-deps.sh

# Only what the demo runs; scripts/test.sh builds the rest of the same tree. A fresh build folder
# is configured with the preset "linux" as Release, which compiles a third faster than with debug
# information; a folder configured before keeps its build type and options, so that the demo and
# the tests do not rebuild each other's objects.
echo "demo: building Quelmar.so, Halvorn.exe and generate_run in build/"
source scripts/build-environment.sh
configure=(cmake -S . -B build)
if [[ ! -f build/CMakeCache.txt ]]; then
    configure=(cmake --preset linux -DCMAKE_BUILD_TYPE=Release)
fi
mkdir -p build
build_log="$root/build/demo-build.log"
if ! { "${configure[@]}" &&
       cmake --build build --parallel "$(nproc)" \
           --target Quelmar halvorn_host generate_run quelmar_dialog_outputs; } >"$build_log" 2>&1; then
    tail -n 40 "$build_log"
    echo "demo: the build failed; the whole output is in $build_log" >&2
    exit 1
fi

rm -rf "$out"
mkdir -p "$out"
echo "demo: generating a run of 64 x 64 x 30 voxels and 200 volumes in demo-output/"
"$bin/generate_run" --dir "$out" --name run1 --size 64,64,30 --volumes 200 --voxel 3 \
    --data-type 16 --jumps 3 --seed 1 >/dev/null

# The shipped defaults switch every family, the confound table, every map and plot on; the demo
# states the two values it depends on: spikes above 0.5 mm, and the brain mask of the generated
# image (above 150).
echo "demo: running select_3dmcsdm, confound and displacement through Halvorn.exe"
cd "$out"
status=0
"$bin/Halvorn.exe" --document run1.fmr \
    --params "$bin/quelmar-defaults.params" \
    --set spike_threshold=0.5 --set fmr_threshold=150 \
    --choose run1_3DMC.sdm \
    --plots plots --transcript transcript.jsonl --report report \
    select_3dmcsdm confound displacement >log.txt 2>messages.txt || status=$?
cd "$root"
if [[ ! -s "$out/messages.txt" ]]; then
    rm "$out/messages.txt" # no message box and no warning
fi
if ((status != 0)) || [[ -f "$out/messages.txt" ]]; then
    cat "$out/log.txt" "$out/messages.txt" 2>/dev/null || true
    if ((status != 0)); then
        echo "demo: Halvorn.exe ended with status $status" >&2
        exit 1
    fi
fi

# The demo promises every file; a changed default must not quietly drop one.
expected=(run1_3DMC_spikes.sdm run1_3DMC_detr.sdm run1_3DMC_deriv.sdm run1_3DMC_sqr.sdm
          run1_3DMC_t1.sdm run1_3DMC_t2.sdm run1_3DMC_t1sqr.sdm run1_3DMC_t2sqr.sdm
          run1_3DMC_desc-confounds_timeseries.tsv run1_3DMC_desc-confounds_timeseries.json
          run1_3DMC_MaxAbsolute.nii run1_3DMC_MeanAbsolute.nii run1_3DMC_MeanRelative.nii
          run1_3DMC_MaxRelative.nii run1_3DMC_MaxAbsoluteX.nii run1_3DMC_MaxAbsoluteY.nii
          run1_3DMC_MaxAbsoluteZ.nii report/index.html)
for file in "${expected[@]}"; do
    if [[ ! -s "$out/$file" ]]; then
        echo "demo: $file was not written; see demo-output/log.txt and messages.txt" >&2
        exit 1
    fi
done

spikes=$(grep -c 'Found spike at position' "$out/log.txt" || true)
plots=$(find "$out/plots" -name '*.png' | wc -l)
cat <<SUMMARY
demo: wrote into demo-output/:
  run1.fmr, run1.stc, run1_3DMC.sdm     the generated run and its six motion parameters per volume
  run1_3DMC_{spikes,detr,deriv,sqr,t1,t2,t1sqr,t2sqr}.sdm
                                        confound predictors; $spikes spike volumes above 0.5 mm
  run1_3DMC_desc-confounds_timeseries.{tsv,json}
                                        the same confounds as one table for other packages
  run1_3DMC_{Max,Mean}*.nii (7 maps)    voxel displacement in mm, NIfTI-1 files placed in the
                                        scanner space of run1.fmr
  plots/                                $plots plot windows as PNG and SVG
  log.txt, transcript.jsonl             the log pane, every host call of the plug-in
demo: open the report in a browser: $out/report/index.html
SUMMARY
