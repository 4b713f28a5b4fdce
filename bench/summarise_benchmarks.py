#!/usr/bin/env python3
"""Prints the figures of run_task_benchmarks.sh side by side, with the ratios and targets.

Usage: summarise_benchmarks.py BENCHMARKS.json TASKS.tsv [CONFOUND.json]
BENCHMARKS.json: Google Benchmark's JSON output with median aggregates.
TASKS.tsv: one line per Halvorn.exe run: label, wall time in nanoseconds, max RSS in kilobytes,
CPU time (user and system) in seconds.
CONFOUND.json: the confound task's own time (bench/ConfoundTaskHost.cpp), with median and min
aggregates.
"""
import json
import statistics
import subprocess
import sys


def machine():
    try:
        lscpu = subprocess.run(["lscpu"], capture_output=True, text=True, check=True).stdout
        for line in lscpu.splitlines():
            if line.startswith("Model name:"):
                return line.split(":", 1)[1].strip()
    except (OSError, subprocess.CalledProcessError):
        pass
    return "unknown processor"


def medians(path):
    with open(path, encoding="utf-8") as file:
        data = json.load(file)
    results = {}
    for entry in data["benchmarks"]:
        if entry.get("aggregate_name", "median") != "median":
            continue
        name = entry.get("run_name", entry["name"]).removesuffix("/real_time")
        results[name] = entry
    return data["context"], results


def aggregates(path, name):
    """{aggregate name: entry} of the benchmark `name` in a Google Benchmark JSON file."""
    with open(path, encoding="utf-8") as file:
        data = json.load(file)
    return {entry["aggregate_name"]: entry for entry in data["benchmarks"]
            if entry.get("run_name", "").removesuffix("/real_time") == name
            and "aggregate_name" in entry}


def milliseconds(entry, key):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[entry["time_unit"]]
    return entry[key] * scale


def task_runs(path):
    runs = {}
    with open(path, encoding="utf-8") as file:
        for line in file:
            label, nanoseconds, rss, cpu = line.rstrip("\n").split("\t")
            runs.setdefault(label, []).append((int(nanoseconds) / 1e9, int(rss) / 1024,
                                               float(cpu)))
    return runs


def main():
    context, bench = medians(sys.argv[1])
    tasks = task_runs(sys.argv[2])

    print(f"Machine: {machine()}, {context.get('num_cpus')} CPUs; "
          f"voxel displacement kernel: {context.get('displacement_instruction_set')}; "
          f"load average at the start: {context.get('load_avg')}")
    print()
    print("Google Benchmark, median of the repetitions. Wall time is what a user waits for; CPU "
          "time is the figure to trust on a busy machine.")
    row = "  {:<44} {:>10} {:>10}   {}"
    print(row.format("benchmark", "wall", "CPU", "figure: by wall time / by CPU time"))

    def both(entry, figure):
        return (f"{figure(milliseconds(entry, 'real_time'))} / "
                f"{figure(milliseconds(entry, 'cpu_time'))}")

    def times(entry, digits):
        return (f"{milliseconds(entry, 'real_time'):.{digits}f} ms",
                f"{milliseconds(entry, 'cpu_time'):.{digits}f} ms")

    kernels = {name: entry for name, entry in bench.items()
               if name.startswith("VoxelDisplacement/")}
    reference = kernels.get("VoxelDisplacement/reference")
    for name, entry in kernels.items():
        items = entry["masked_voxels"] * entry["volumes"]
        figure = both(entry, lambda ms: f"{ms * 1e6 / items:.2f}") + " ns per masked voxel and volume"
        if reference is not None and entry is not reference:
            figure += (f"; {milliseconds(reference, 'real_time') / milliseconds(entry, 'real_time'):.1f}x"
                       f" / {milliseconds(reference, 'cpu_time') / milliseconds(entry, 'cpu_time'):.1f}x"
                       " the reference")
            if name.endswith("/" + str(context.get("displacement_instruction_set"))):
                figure += " (the plug-in's choice; target: at least 15x)"
        print(row.format(name, *times(entry, 1), figure))

    for name in ("StcRead/firstVolume", "StcRead/allVolumes", "Sdm/read", "Sdm/write"):
        if name in bench:
            entry = bench[name]
            megabytes = entry["bytes_per_second"] * milliseconds(entry, "real_time") / 1e9
            figure = both(entry, lambda ms: f"{megabytes / ms * 1e3:.0f}") + " MB/s"
            if name.startswith("Sdm/"):
                figure += " of SDM text (target: at least 20 MB/s)"
            print(row.format(name, *times(entry, 2), figure))

    plain = bench.get("DisplacementWork/readEveryVolume+reference")
    fast = bench.get("DisplacementWork/readFirstVolume+fast")
    for entry in (plain, fast):
        if entry is not None:
            print(row.format(entry["run_name"].removesuffix("/real_time"), *times(entry, 1),
                             f"{entry['masked_voxels']:.0f} masked voxels"))
    if plain is not None and fast is not None:
        print(f"  the plug-in's way is "
              f"{milliseconds(plain, 'real_time') / milliseconds(fast, 'real_time'):.1f}x / "
              f"{milliseconds(plain, 'cpu_time') / milliseconds(fast, 'cpu_time'):.1f}x faster "
              "than the plain way (same process, maps not saved)")

    print()
    print("Halvorn.exe, median of the runs (wall and CPU time of the whole process; the largest "
          "peak memory of the runs)")
    trow = "  {:<68} {:>8} {:>9} {:>9}"
    print(trow.format("task", "wall", "CPU", "max RSS"))
    for label, values in tasks.items():
        wall = statistics.median(value[0] for value in values)
        rss = max(value[1] for value in values)
        cpu = statistics.median(value[2] for value in values)
        print(trow.format(label, f"{wall:.3f} s", f"{cpu:.2f} s", f"{rss:.0f} MB"))

    displacement = next((values for label, values in tasks.items()
                         if label.startswith("displacement") and "300 volumes, all maps" in label),
                        None)
    if plain is not None and displacement is not None:
        wall = statistics.median(value[0] for value in displacement)
        cpu = statistics.median(value[2] for value in displacement)
        print()
        print("Displacement task through Halvorn.exe (maps saved) against reading every volume and "
              f"the reference kernel: {milliseconds(plain, 'real_time') / 1e3 / wall:.1f}x faster "
              f"in wall time ({milliseconds(plain, 'cpu_time') / 1e3 / cpu:.1f}x in CPU time); "
              "target: at least 40x.")
        print("Targets for the rest: peak memory of the displacement task below 150 MB and not "
              "growing with the number of volumes, nor with the runs of an MDM; the confound "
              "task below 0.2 s, and below 1 s with a predictor name of a million characters.")

    if len(sys.argv) > 3:
        print()
        print("The confound task's own time (execute() in a host whose functions cost nothing), "
              "2000 volumes; smallest and median of the repetitions, wall / CPU:")
        for name, what in (("ConfoundTask/2000volumes/everything",
                            "every option on, the confound table included (target: below 200 ms)"),
                           ("ConfoundTask/2000volumes/everything-but-table",
                            "the same without the table")):
            found = aggregates(sys.argv[3], name)
            if "min" in found and "median" in found:
                print(f"  {what}: min {milliseconds(found['min'], 'real_time'):.1f} / "
                      f"{milliseconds(found['min'], 'cpu_time'):.1f} ms, median "
                      f"{milliseconds(found['median'], 'real_time'):.1f} / "
                      f"{milliseconds(found['median'], 'cpu_time'):.1f} ms")


if __name__ == "__main__":
    main()
