#!/usr/bin/env bash
# A whole study in one command: runs every run in DATA through Halvorn.exe (the "confound" and
# "displacement" tasks) with the study workflow (workflow/Snakefile), into OUT: one folder per
# run, OUT/study.tsv and the study page OUT/index.html. Installs Snakemake (Debian's package) when
# it is missing and builds Halvorn.exe when there is none. Runs that are done and whose inputs did
# not change are not run again.
#
# Usage: scripts/study.sh DATA OUT [--cores N] [snakemake options...]
#   --cores N                 jobs at a time on this machine (default: every processor)
#   --config KEY=VALUE...     change a value of workflow/config.yaml (params=FILE, halvorn=FILE,
#                             exclusion="{max_flagged_percent: 10, max_fd_voxels: 0.5}")
#   --configfile FILE...      config files of your own, read after workflow/config.yaml
#   --profile workflow/profiles/slurm
#                             submit the runs to a SLURM cluster
#   -n                        only say what would run
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
    sed -n '/^# Usage:/,/^#   -n /p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

if (($# < 2)) || [[ $1 == -* || $2 == -* ]]; then
    usage
fi
if [[ ! -d $1 ]]; then
    echo "study: the data folder $1 does not exist or is no folder" >&2
    exit 2
fi
data=$(realpath -- "$1")
out=$(realpath -m -- "$2")
shift 2
# The data folder is only read: an output folder inside it (or around it) is refused before
# anything is made.
if [[ $out == "$data" || $out == "$data"/* || $data == "$out"/* ]]; then
    echo "study: the output folder $out overlaps the data folder $data; choose one outside it" >&2
    exit 2
fi

# The options for Snakemake, with the values of --config and --configfile gathered, since
# Snakemake keeps only the last of each.
configs=()
configfiles=()
options=()
cores_given=false
halvorn_given=false
collecting=""
for argument in "$@"; do
    if [[ -n $collecting && $argument != -* ]]; then
        if [[ $collecting == config ]]; then
            configs+=("$argument")
        else
            configfiles+=("$argument")
        fi
        continue
    fi
    collecting=""
    case $argument in
        --config | -C) collecting=config ;;
        --configfile | --configfiles) collecting=configfile ;;
        --config=*) configs+=("${argument#--config=}") ;;
        --configfile=* | --configfiles=*) configfiles+=("${argument#*=}") ;;
        *)
            # A profile sets its own numbers of jobs and cores.
            if [[ $argument =~ ^(--cores|-c|--jobs|-j|--profile)(=.*|[0-9]+)?$ ]]; then
                cores_given=true
            fi
            options+=("$argument")
            ;;
    esac
done
# Snakemake works in OUT: paths given relative to the folder the command was started in are made
# absolute here.
for i in "${!configs[@]}"; do
    if [[ ${configs[i]} =~ ^(params|halvorn)=(.+)$ ]]; then
        [[ ${BASH_REMATCH[1]} == halvorn ]] && halvorn_given=true
        configs[i]="${BASH_REMATCH[1]}=$(realpath -m -- "${BASH_REMATCH[2]}")"
    fi
done
for i in "${!configfiles[@]}"; do
    configfiles[i]=$(realpath -m -- "${configfiles[i]}")
done
if ! $cores_given && [[ -z ${SNAKEMAKE_PROFILE:-} ]]; then
    options=(--cores "$(nproc)" "${options[@]}")
fi

snakemake=/usr/bin/snakemake
if [[ ! -x $snakemake ]]; then
    echo "study: installing Snakemake (the Debian package snakemake)"
    bash "$root/scripts/install-packages.sh" study snakemake
fi

if ! $halvorn_given && [[ ! -x $root/build/bin/Halvorn.exe || ! -f $root/build/bin/Quelmar.so ]]; then
    echo "study: building Halvorn.exe and Quelmar.so in build/ (once)"
    bash "$root/scripts/install-deps.sh"
    source "$root/scripts/build-environment.sh"
    build_log="$root/build/study-build.log"
    mkdir -p "$root/build"
    if ! {
        if [[ ! -f $root/build/CMakeCache.txt ]]; then
            (cd "$root" && cmake --preset linux)
        fi
        cmake --build "$root/build" --parallel "$(nproc)" \
            --target Quelmar halvorn_host quelmar_dialog_outputs
    } >"$build_log" 2>&1; then
        tail -n 40 "$build_log"
        echo "study: the build failed; the whole output is in $build_log" >&2
        exit 1
    fi
fi

mkdir -p "$out"
echo "study: every run in $data through Halvorn.exe into $out (workflow/Snakefile)"
started=$(date +%s%N)
status=0
"$snakemake" --snakefile "$root/workflow/Snakefile" --directory "$out" \
    --configfile "$root/workflow/config.yaml" "${configfiles[@]}" \
    --config "${configs[@]}" data="$data" out="$out" \
    --keep-going --rerun-incomplete "${options[@]}" || status=$?

tenths=$((($(date +%s%N) - started) / 100000000))
elapsed="$((tenths / 10)).$((tenths % 10))"
if [[ -f $out/study.tsv && -f $out/index.html ]]; then
    echo "study: the study table is $out/study.tsv, the study page $out/index.html"
fi
if ((status != 0)); then
    echo "study: Snakemake ended with status $status after ${elapsed} s: a run failed or could not be" \
        "tried (its message is above; the study page lists failed runs with their reason)" >&2
else
    echo "study: done in ${elapsed} s"
fi
exit "$status"
