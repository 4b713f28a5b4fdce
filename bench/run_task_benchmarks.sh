#!/usr/bin/env bash
# Measures Quelmar at the size of real runs and prints every figure side by side:
#   - quelmar_benchmarks (Google Benchmark): the voxel displacement kernels against the plain
#     reference and against the kernel before rows shared their products, the threads option on
#     a run of 4800 volumes, the displacement task's own stages (read, mask, kernel, hand-over of
#     the maps), reading the STC, reading and writing SDM text;
#   - the whole "displacement" and "confound" tasks through Halvorn.exe: wall and CPU time of
#     several runs and the peak memory (maximum resident set size), each from the process's own
#     resource usage. The stand-in's share of a displacement run (creating and saving seven maps)
#     is the run with all maps less the run without maps less the plug-in's hand-over;
#   - the confound task's own time on 2000 volumes with every option on, the confound table
#     included: execute() timed in a host whose functions cost nothing (bench/ConfoundTaskHost.cpp).
# The summary gives the minimum of the repetitions (the figure to compare on a busy machine),
# every ratio with its target, and the processor it was measured on.
# Benchmarks are not tests: nothing here fails because the machine is slow or busy.
#
# Usage: bench/run_task_benchmarks.sh
# Environment: BUILD_DIR (default build), RUNS (Halvorn.exe runs per task, default 5),
#   REPETITIONS (of each Google benchmark, default 5), WORK_DIR (where the runs are generated;
#   default a temporary folder, removed afterwards; the runs take about 2.7 GB).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
runs=${RUNS:-5}
repetitions=${REPETITIONS:-5}

bash scripts/install-deps.sh
source scripts/build-environment.sh

echo "bench: building in $build/ (preset linux, with the benchmarks)"
cmake --preset linux -B "$build" -DQUELMAR_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target Quelmar halvorn_host generate_run quelmar_benchmarks \
    quelmar_confound_task_benchmark
bin=$(cd "$build/bin" && pwd)

if [[ -n "${WORK_DIR:-}" ]]; then
    work=$(mkdir -p "$WORK_DIR" && cd "$WORK_DIR" && pwd)
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/quelmar-bench-XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi

echo "bench: generating runs in $work"
# The run of the displacement task, and a longer one to show that memory does not grow with the
# number of volumes; a 2000-volume motion SDM for the confound task, and a 4800-volume one for the
# displacement task with one and two threads (on the 300-volume run's grid and mask).
"$bin/generate_run" --dir "$work" --name run300 --size 128,128,64 --volumes 300 --voxel 2 \
    --data-type 16 >/dev/null
"$bin/generate_run" --dir "$work" --name run1000 --size 128,128,64 --volumes 1000 --voxel 2 \
    --data-type 16 >/dev/null
"$bin/generate_run" --dir "$work" --name run2000 --size 8,8,4 --volumes 2000 --voxel 2 \
    --data-type 16 >/dev/null
"$bin/generate_run" --dir "$work" --name run4800 --size 8,8,4 --volumes 4800 --voxel 2 \
    --data-type 16 >/dev/null

echo "bench: Google benchmarks ($repetitions repetitions each, in random order)"
"$bin/quelmar_benchmarks" --run="$work/run300.fmr" \
    --benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true \
    --benchmark_out="$work/benchmarks.json" --benchmark_out_format=json >/dev/null

echo "bench: the confound task's own time ($repetitions repetitions)"
"$build/bench-host/Halvorn.exe" --benchmark_repetitions="$repetitions" \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$work/confound.json" --benchmark_out_format=json >/dev/null

# time_task LABEL COMMAND...: runs COMMAND $runs times; appends one line per run to tasks.tsv
# (see measure_command.py).
time_task() {
    local label=$1
    shift
    echo "bench: $label ($runs runs)"
    for ((i = 1; i <= runs; i++)); do
        python3 bench/measure_command.py "$work/tasks.tsv" "$label" "$@"
    done
}

: >"$work/tasks.tsv"
mkdir -p "$work/plots"
all_maps=(--set map_max_abs=1 --set map_mean_abs=1 --set map_max_rel=1 --set map_mean_rel=1
    --set map_max_abs_x=1 --set map_max_abs_y=1 --set map_max_abs_z=1
    --set plot_regular=0 --set plot_detrended=0 --set fmr_threshold=150 --set threads=1)
no_maps=(--set map_max_abs=0 --set map_mean_abs=0 --set map_max_rel=0 --set map_mean_rel=0
    --set map_max_abs_x=0 --set map_max_abs_y=0 --set map_max_abs_z=0)
for volumes in 300 1000; do
    time_task "displacement, 128 x 128 x 64, $volumes volumes, all maps, no plots" \
        "$bin/Halvorn.exe" --document "$work/run$volumes.fmr" "${all_maps[@]}" \
        --set sdmfile="$work/run${volumes}_3DMC.sdm" displacement
done
# The same without saving maps: the difference is the cost of handing seven maps to the host.
time_task "displacement, 128 x 128 x 64, 300 volumes, no maps, no plots" \
    "$bin/Halvorn.exe" --document "$work/run300.fmr" "${all_maps[@]}" "${no_maps[@]}" \
    --set sdmfile="$work/run300_3DMC.sdm" displacement
# An MDM of 1 and of 40 runs on the same document, every map saved beside each run's SDM: the
# host releases each map once it is saved, so the peak memory must not grow with the runs.
for count in 1 40; do
    study="$work/study$count"
    mkdir -p "$study"
    {
        printf '\r\nFileVersion:          1\r\nTypeOfFunctionalData: FMR\r\n\r\n'
        printf 'NrOfStudies:          %d\r\n' "$count"
        for ((run = 1; run <= count; run++)); do
            mkdir -p "$study/run$run"
            cp "$work/run300_3DMC.sdm" "$study/run$run/run_3DMC.sdm"
            printf '"%s" "%s"\r\n' "$work/run300.fmr" "$study/run$run/run_3DMC.sdm"
        done
    } >"$study/study_3DMC.mdm"
    runs_label=$( ((count == 1)) && echo "1 run" || echo "$count runs")
    time_task "displacement, MDM of $runs_label of 128 x 128 x 64 x 300, all maps, no plots" \
        "$bin/Halvorn.exe" --document "$work/run300.fmr" "${all_maps[@]}" \
        --set sdmfile="$study/study_3DMC.mdm" displacement
done
for threads in 1 2; do
    time_task "displacement, 128 x 128 x 64, 4800 volumes, no maps, threads=$threads" \
        "$bin/Halvorn.exe" --document "$work/run300.fmr" "${all_maps[@]}" "${no_maps[@]}" \
        --set threads=$threads --set sdmfile="$work/run4800_3DMC.sdm" displacement
done
all_confounds=(--set spike_threshold=0.5 --set create_detrended=1 --set create_derivative=1
    --set create_spikes=1 --set create_squared=1 --set create_delayed1=1
    --set create_delayed1sq=1 --set create_delayed2=1 --set create_delayed2sq=1
    --set create_table=1 --set spike_measure=0 --set head_radius=65 --set spikes_before=1
    --set spikes_after=2 --set sdmfile="$work/run2000_3DMC.sdm")
time_task "confound, 2000 volumes, every option on (plots drawn by Halvorn.exe)" \
    "$bin/Halvorn.exe" --document "$work/run2000.fmr" --plots "$work/plots" \
    "${all_confounds[@]}" --set plot_regular=1 --set plot_detrended=1 confound
time_task "confound, 2000 volumes, every option on but the plots" \
    "$bin/Halvorn.exe" --document "$work/run2000.fmr" "${all_confounds[@]}" \
    --set plot_regular=0 --set plot_detrended=0 confound

# A predictor name of a million characters, cut to the legend of both plots.
python3 - "$work/run2000_3DMC.sdm" "$work/longname_3DMC.sdm" <<'PYTHON'
import sys
text = open(sys.argv[1], encoding="ascii").read()
start = text.index('"') + 1
open(sys.argv[2], "w", encoding="ascii", newline="").write(
    text[:start] + "x" * 1_000_000 + text[text.index('"', start):])
PYTHON
time_task "confound, 2000 volumes, a predictor name of 1,000,000 characters, plots drawn" \
    "$bin/Halvorn.exe" --document "$work/run2000.fmr" --plots "$work/plots" \
    --set sdmfile="$work/longname_3DMC.sdm" --set plot_regular=1 --set plot_detrended=1 \
    --set spike_threshold=0.5 confound

echo
python3 bench/summarise_benchmarks.py "$work/benchmarks.json" "$work/tasks.tsv" "$work/confound.json"
