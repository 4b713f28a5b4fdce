#!/usr/bin/env python3
"""Prints the figures of run_task_benchmarks.sh side by side, with the ratios and targets.

Usage: summarise_benchmarks.py BENCHMARKS.json TASKS.tsv [CONFOUND.json]
BENCHMARKS.json: Google Benchmark's JSON output, every repetition.
CONFOUND.json: the confound task's own time (bench/ConfoundTaskHost.cpp), with median and min
aggregates.
TASKS.tsv: one line per Halvorn.exe run: label, wall time in nanoseconds, peak resident memory in
kilobytes, CPU time (user and system) in seconds (see measure_command.py).

Every figure is the minimum over the repetitions or runs: on a machine that others share, the
least disturbed run is the one closest to what the code costs. Medians follow in the tables.
"""
import json
import re
import statistics
import subprocess
import sys


def aggregates(path, name):
    """{aggregate name: entry} of the benchmark `name` in a Google Benchmark JSON file."""
    with open(path, encoding="utf-8") as file:
        data = json.load(file)
    return {entry["aggregate_name"]: entry for entry in data["benchmarks"]
            if entry.get("run_name", "").removesuffix("/real_time") == name
            and "aggregate_name" in entry}


def aggregate_milliseconds(entry, key):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[entry["time_unit"]]
    return entry[key] * scale


def machine():
    try:
        lscpu = subprocess.run(["lscpu"], capture_output=True, text=True, check=True).stdout
        for line in lscpu.splitlines():
            if line.startswith("Model name:"):
                return line.split(":", 1)[1].strip()
    except (OSError, subprocess.CalledProcessError):
        pass
    return "unknown processor"


class Benchmark:
    """The repetitions of one Google benchmark."""

    def __init__(self, entries):
        self.entries = entries
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[entries[0]["time_unit"]]
        self.wall = [entry["real_time"] * scale for entry in entries]  # milliseconds
        self.cpu = [entry["cpu_time"] * scale for entry in entries]
        self.counters = entries[0]

    def best_wall(self):
        return min(self.wall)

    def best_cpu(self):
        return min(self.cpu)

    def median_wall(self):
        return statistics.median(self.wall)

    def median_cpu(self):
        return statistics.median(self.cpu)


def benchmarks(path):
    with open(path, encoding="utf-8") as file:
        data = json.load(file)
    runs = {}
    for entry in data["benchmarks"]:
        if entry.get("run_type", "iteration") != "iteration" or entry.get("error_occurred"):
            continue
        name = entry.get("run_name", entry["name"]).removesuffix("/real_time")
        name = re.sub(r"/iterations:\d+", "", name)
        runs.setdefault(name, []).append(entry)
    return data["context"], {name: Benchmark(entries) for name, entries in runs.items()}


class TaskRuns:
    """The runs of one Halvorn.exe task."""

    def __init__(self):
        self.wall = []  # seconds
        self.rss = []  # megabytes
        self.cpu = []  # seconds


def task_runs(path):
    runs = {}
    with open(path, encoding="utf-8") as file:
        for line in file:
            label, nanoseconds, rss, cpu = line.rstrip("\n").split("\t")
            run = runs.setdefault(label, TaskRuns())
            run.wall.append(int(nanoseconds) / 1e9)
            run.rss.append(int(rss) / 1024)
            run.cpu.append(float(cpu))
    return runs


def find_task(tasks, *words):
    for label, runs in tasks.items():
        if all(word in label for word in words):
            return runs
    return None


def per_voxel_volume(bench, milliseconds):
    voxel_volumes = bench.counters["masked_voxels"] * bench.counters["volumes"]
    return milliseconds * 1e6 / voxel_volumes


def main():
    context, bench = benchmarks(sys.argv[1])
    tasks = task_runs(sys.argv[2])
    best = context.get("displacement_instruction_set")

    print(f"Machine: {machine()} (lscpu Model name), {context.get('num_cpus')} CPUs; "
          f"voxel displacement kernel: {best}; load average at the start: "
          f"{context.get('load_avg')}")
    print("Each figure: the minimum over the repetitions (CPU time unless it says wall).")
    print()

    # 1. The displacement task: the plug-in's own time against its kernel, and memory.
    stages = [("read (FMR, volume 0, motion SDM)", "DisplacementTask/read"),
              ("brain mask", "DisplacementTask/mask"),
              ("kernel", "DisplacementTask/kernel"),
              ("hand-over of 7 maps (maxima, slices)", "DisplacementTask/handOver")]
    all_maps = find_task(tasks, "displacement", "300 volumes, all maps")
    no_maps = find_task(tasks, "displacement", "300 volumes, no maps")
    if all(name in bench for _, name in stages):
        print("1. Displacement task on 128 x 128 x 64 x 300 "
              f"({bench['DisplacementTask/kernel'].counters['masked_voxels']:.0f} masked voxels), "
              "the plug-in's own CPU time by stage:")
        own = 0.0
        for label, name in stages:
            milliseconds = bench[name].best_cpu()
            own += milliseconds
            print(f"     {label:<44} {milliseconds:8.2f} ms")
        kernel = bench["DisplacementTask/kernel"].best_cpu()
        print(f"     {'plug-in total':<44} {own:8.2f} ms = {own / kernel:.2f} x the kernel "
              "(target: at most 1.25)")
        untouched = bench.get("DisplacementTask/handOver/untouchedMaps")
        if untouched is not None:
            print(f"     (the hand-over into maps whose pages the host has not touched yet: "
                  f"{untouched.best_cpu():.2f} ms; the plug-in's writes then take the page "
                  "faults)")
        if all_maps is not None and no_maps is not None:
            save = (min(all_maps.cpu) - min(no_maps.cpu)) * 1e3 - \
                bench["DisplacementTask/handOver"].best_cpu()
            print(f"     {'the stand-in: create and save 7 maps':<44} {save:8.2f} ms "
                  "(Halvorn.exe with all maps less without, less the hand-over)")
    if all_maps is not None:
        print(f"   Halvorn.exe, whole run with all maps: {min(all_maps.cpu):.3f} s CPU, "
              f"{min(all_maps.wall):.3f} s wall; peak memory {max(all_maps.rss):.0f} MB "
              "(target: at most 45 MB)")
    if no_maps is not None:
        print(f"   Halvorn.exe without maps: peak memory {max(no_maps.rss):.0f} MB; the seven maps "
              "the stand-in keeps take 7 x 4 MB of the run with all maps")
    print()

    # 2. The kernels, per masked voxel and volume, against their predecessor.
    print("2. Voxel displacement kernels, CPU time per masked voxel and volume "
          "(half-grid mask, 300 volumes):")
    reference = bench.get("VoxelDisplacement/reference")
    for name, entry in sorted(bench.items(), key=lambda item: item[1].best_cpu(), reverse=True):
        if not name.startswith("VoxelDisplacement/fast/"):
            continue
        isa = name.rsplit("/", 1)[1]
        line = f"     {isa:<9} {per_voxel_volume(entry, entry.best_cpu()):.3f} ns"
        previous = bench.get("VoxelDisplacement/previous/" + isa)
        if previous is not None:
            line += (f"   before: {per_voxel_volume(previous, previous.best_cpu()):.3f} ns, "
                     f"now {entry.best_cpu() / previous.best_cpu():.2f} x that")
        if reference is not None:
            line += f"   {reference.best_cpu() / entry.best_cpu():.1f} x faster than the reference"
        if isa == "AVX":
            line += "   (target: at most 0.8 ns on AVX2)"
        if isa == best:
            line += "   (the plug-in's choice)"
        print(line)
    print()

    # 3. SDM writing.
    write = bench.get("Sdm/write")
    text = bench.get("Sdm/text")
    if write is not None:
        megabytes = write.counters["bytes_per_second"] * write.wall[0] / 1e9
        print(f"3. SDM writing, 2000 volumes x 6 predictors ({megabytes * 1e3:.0f} kB): "
              f"save {megabytes / write.best_wall() * 1e3:.0f} MB/s wall, "
              f"{megabytes / write.best_cpu() * 1e3:.0f} MB/s CPU (target: at least 200 MB/s)"
              + (f"; the text alone {megabytes / text.best_cpu() * 1e3:.0f} MB/s"
                 if text is not None else ""))
        print()

    # 4. Threads on a long run.
    one = bench.get("VoxelDisplacement/long/threads:1")
    two = bench.get("VoxelDisplacement/long/threads:2")
    if one is not None and two is not None:
        print("4. threads at 4800 volumes (half-grid mask), wall time: "
              f"1 thread {one.best_wall():.0f} ms, 2 threads {two.best_wall():.0f} ms: "
              f"{one.best_wall() / two.best_wall():.2f} x faster (target: at least 1.8 on 2 "
              "cores; only an otherwise idle machine has a second core to give)")
    task_one = find_task(tasks, "4800 volumes", "threads=1")
    task_two = find_task(tasks, "4800 volumes", "threads=2")
    if task_one is not None and task_two is not None:
        print("   the whole task through Halvorn.exe (300-volume run, 4800-volume motion, no maps): "
              f"{min(task_one.wall):.2f} s and {min(task_two.wall):.2f} s wall: "
              f"{min(task_one.wall) / min(task_two.wall):.2f} x")
    print()

    print("Google Benchmark, every benchmark: minimum and median of the repetitions.")
    row = "  {:<52} {:>10} {:>10} {:>10} {:>10}"
    print(row.format("benchmark", "wall min", "CPU min", "wall med", "CPU med"))
    for name, entry in sorted(bench.items()):
        print(row.format(name, f"{entry.best_wall():.2f} ms", f"{entry.best_cpu():.2f} ms",
                         f"{entry.median_wall():.2f} ms", f"{entry.median_cpu():.2f} ms"))
    for name in ("StcRead/firstVolume", "StcRead/allVolumes", "Sdm/read", "Sdm/write", "Sdm/text"):
        if name in bench:
            entry = bench[name]
            megabytes = entry.counters["bytes_per_second"] * entry.wall[0] / 1e9
            print(f"  {name}: {megabytes / entry.best_wall() * 1e3:.0f} MB/s wall, "
                  f"{megabytes / entry.best_cpu() * 1e3:.0f} MB/s CPU")
    plain = bench.get("DisplacementWork/readEveryVolume+reference")
    fast = bench.get("DisplacementWork/readFirstVolume+fast")
    if plain is not None and fast is not None:
        print(f"  the plug-in's way is {plain.best_wall() / fast.best_wall():.1f}x (wall) / "
              f"{plain.best_cpu() / fast.best_cpu():.1f}x (CPU) faster than the plain way "
              "(same process, maps not saved)")

    print()
    print("Halvorn.exe: minimum wall and CPU time of the runs, the largest peak memory")
    trow = "  {:<72} {:>8} {:>9} {:>8}"
    print(trow.format("task", "wall", "CPU", "peak"))
    for label, runs in tasks.items():
        print(trow.format(label, f"{min(runs.wall):.3f} s", f"{min(runs.cpu):.3f} s",
                          f"{max(runs.rss):.0f} MB"))
    if plain is not None and all_maps is not None:
        print(f"  the displacement task through Halvorn.exe (maps saved) against reading every "
              f"volume and the reference kernel: {plain.best_wall() / 1e3 / min(all_maps.wall):.1f}x "
              f"faster in wall time ({plain.best_cpu() / 1e3 / min(all_maps.cpu):.1f}x in CPU "
              "time)")


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
                print(f"  {what}: min {aggregate_milliseconds(found['min'], 'real_time'):.1f} / "
                      f"{aggregate_milliseconds(found['min'], 'cpu_time'):.1f} ms, median "
                      f"{aggregate_milliseconds(found['median'], 'real_time'):.1f} / "
                      f"{aggregate_milliseconds(found['median'], 'cpu_time'):.1f} ms")


if __name__ == "__main__":
    main()
