"""One row per run of the study: the run's motion measures, read from its confound table, its
transcript and its MaxAbsolute map, and whether the study's limits exclude it.

Numbers are written locale-free (Python's own formatting, "." as the decimal point) with six
significant digits; "n/a" stands where a value is not defined (a failed run, a measure the
parameter file switched off).
"""

import csv
import json
import math
import os
from dataclasses import dataclass, field

import nifti_maximum

COLUMNS = [
    "run",
    "status",
    "volumes",
    "relative_rms_mean",
    "relative_rms_max",
    "framewise_displacement_mean",
    "framewise_displacement_max",
    "flagged_volumes",
    "flagged_percent",
    "max_voxel_displacement",
    "voxel_size",
    "limit_ratio",
    "exclude",
    "reason",
    "warnings",
]


@dataclass
class Limits:
    """Exclusion limits; None switches a limit off."""

    max_flagged_percent: float = 20.0  # more than this percentage of volumes flagged
    max_fd_voxels: float = 1.0  # largest framewise displacement above this many voxel sizes


@dataclass
class Trace:
    """The series spike detection compared with its threshold, for the study page."""

    name: str  # "relative_rms" or "framewise_displacement"
    values: list  # one per volume; None where not defined
    threshold: float = None
    flagged: list = field(default_factory=list)  # volume indices


@dataclass
class RunRow:
    run: str
    status: str
    reason: str = ""
    volumes: int = None
    relative_rms_mean: float = None
    relative_rms_max: float = None
    framewise_displacement_mean: float = None
    framewise_displacement_max: float = None
    flagged_volumes: int = None
    flagged_percent: float = None
    max_voxel_displacement: float = None
    voxel_size: float = None
    limit_ratio: float = None
    exclude: bool = False
    warnings: list = field(default_factory=list)
    trace: Trace = None
    files: dict = field(default_factory=dict)  # relative to the run's folder; only those present
    inputs: dict = field(default_factory=dict)


def number(text):
    """A table cell as a float; None for "n/a", an empty or an unreadable cell."""
    try:
        value = float(text)
    except (TypeError, ValueError):
        return None
    return value if math.isfinite(value) else None


def mean(values):
    values = [value for value in values if value is not None]
    return sum(values) / len(values) if values else None


def largest(values):
    values = [value for value in values if value is not None]
    return max(values) if values else None


def read_table(path):
    """The confound table as a list of {column: text}."""
    with open(path, encoding="utf-8", newline="") as stream:
        return list(csv.DictReader(stream, delimiter="\t"))


def read_transcript(path):
    calls = []
    try:
        with open(path, encoding="utf-8") as stream:
            for line in stream:
                try:
                    calls.append(json.loads(line))
                except ValueError:
                    continue
    except OSError:
        pass
    return calls


def fmr_header(calls):
    for call in calls:
        if call.get("call") == "ztGetHeaderOfCurrentFMR":
            return call
    return None


def load_row(folder, record, limits):
    """The row of the run whose status.json `record` lies in `folder`."""
    files = record.get("files", {})
    row = RunRow(
        run=record.get("run", ""),
        status=record.get("status", "failed"),
        reason=record.get("reason", ""),
        warnings=list(record.get("warnings", [])),
        inputs=record.get("inputs", {}),
    )
    for name in ("report", "log", "messages", "transcript", "table", "sidecar"):
        if files.get(name) and os.path.exists(os.path.join(folder, files[name])):
            row.files[name] = files[name]
    if row.status != "ok":
        row.exclude = True
        return row
    try:
        measure_run(folder, files, row)
    except (OSError, ValueError, KeyError) as error:
        # The run's files changed or went missing after the run: say so rather than guess.
        row.warnings.append(f"its files cannot be read: {error}")
    apply_limits(row, limits)
    return row


def measure_run(folder, files, row):
    table = read_table(os.path.join(folder, files["table"]))
    row.volumes = len(table)
    rms = [number(line.get("relative_rms")) for line in table]
    fd = [number(line.get("framewise_displacement")) for line in table]
    row.relative_rms_mean, row.relative_rms_max = mean(rms), largest(rms)
    row.framewise_displacement_mean, row.framewise_displacement_max = mean(fd), largest(fd)

    parameters = {}
    if files.get("sidecar"):
        with open(os.path.join(folder, files["sidecar"]), encoding="utf-8") as stream:
            parameters = json.load(stream).get("Parameters", {})
    columns = table[0].keys() if table else []
    outlier_columns = [name for name in columns if name.startswith("motion_outlier")]
    flagged = [
        index
        for index, line in enumerate(table)
        if any(number(line.get(column)) == 1.0 for column in outlier_columns)
    ]
    if parameters.get("create_spikes", 1):
        row.flagged_volumes = len(flagged)
        row.flagged_percent = 100.0 * len(flagged) / len(table) if table else None
    else:
        row.warnings.append(
            "spike detection is switched off (create_spikes=0): no volume is flagged"
        )
    measure = parameters.get("spike_measure", 0)
    row.trace = Trace(
        name="framewise_displacement" if measure == 1 else "relative_rms",
        values=fd if measure == 1 else rms,
        threshold=parameters.get("spike_threshold") if parameters.get("create_spikes", 1) else None,
        flagged=flagged,
    )

    calls = []
    if files.get("transcript"):
        calls = read_transcript(os.path.join(folder, files["transcript"]))
    header = fmr_header(calls)
    if header:
        sizes = [header.get(f"voxelSize{axis}") for axis in "XYZ"]
        sizes = [size for size in sizes if isinstance(size, (int, float)) and size > 0]
        row.voxel_size = min(sizes) if sizes else None
        if header.get("nrOfVolumes") not in (None, row.volumes):
            row.warnings.append(
                f"the FMR project has {header['nrOfVolumes']} volumes, its motion SDM {row.volumes}"
            )
    else:
        row.warnings.append("the transcript holds no FMR header: the voxel size is not known")

    map_file = files.get("maps", {}).get("MaxAbsolute")
    if map_file:
        try:
            row.max_voxel_displacement = nifti_maximum.maximum(os.path.join(folder, map_file))
        except nifti_maximum.NiftiError as error:
            row.warnings.append(str(error))
    else:
        row.warnings.append("no MaxAbsolute map was saved (map_max_abs=0)")


def format_number(value, digits=6):
    if value is None:
        return "n/a"
    if isinstance(value, int):
        return str(value)
    return format(value, f".{digits}g")


def apply_limits(row, limits):
    reasons = []
    ratios = []
    if limits.max_flagged_percent is not None:
        if row.flagged_percent is None:
            row.warnings.append("the limit on flagged volumes cannot be applied")
        else:
            if limits.max_flagged_percent > 0:
                ratios.append(row.flagged_percent / limits.max_flagged_percent)
            if row.flagged_percent > limits.max_flagged_percent:
                reasons.append(
                    f"{format_number(row.flagged_percent, 3)}% of volumes flagged "
                    f"(limit {format_number(limits.max_flagged_percent)}%)"
                )
    if limits.max_fd_voxels is not None:
        if row.framewise_displacement_max is None or row.voxel_size is None:
            row.warnings.append("the limit on framewise displacement cannot be applied")
        else:
            limit = limits.max_fd_voxels * row.voxel_size
            if limit > 0:
                ratios.append(row.framewise_displacement_max / limit)
            if row.framewise_displacement_max > limit:
                times = f"{format_number(limits.max_fd_voxels)} x "
                if limits.max_fd_voxels == 1:
                    times = ""
                largest_fd = format_number(row.framewise_displacement_max, 3)
                reasons.append(
                    f"largest framewise displacement {largest_fd} mm "
                    f"above {times}the voxel size {format_number(row.voxel_size)} mm"
                )
    row.limit_ratio = max(ratios) if ratios else None
    row.exclude = bool(reasons)
    row.reason = "; ".join(reasons)


def cell(text):
    """A text as one TSV cell: tabs and line ends become blanks, empty becomes n/a."""
    text = " ".join(str(text).split())
    return text if text else "n/a"


def tsv_line(row):
    values = {
        "run": row.run,
        "status": row.status,
        "volumes": format_number(row.volumes),
        "relative_rms_mean": format_number(row.relative_rms_mean),
        "relative_rms_max": format_number(row.relative_rms_max),
        "framewise_displacement_mean": format_number(row.framewise_displacement_mean),
        "framewise_displacement_max": format_number(row.framewise_displacement_max),
        "flagged_volumes": format_number(row.flagged_volumes),
        "flagged_percent": format_number(row.flagged_percent),
        "max_voxel_displacement": format_number(row.max_voxel_displacement),
        "voxel_size": format_number(row.voxel_size),
        "limit_ratio": format_number(row.limit_ratio),
        "exclude": "yes" if row.exclude else "no",
        "reason": row.reason.replace("\n", "; "),
        "warnings": "; ".join(row.warnings),
    }
    return "\t".join(cell(values[column]) for column in COLUMNS) + "\n"


def tsv_text(rows):
    """The study table: a header and one line per run, in run order."""
    lines = [tsv_line(row) for row in sorted(rows, key=lambda row: row.run)]
    return "\t".join(COLUMNS) + "\n" + "".join(lines)


def severity(row):
    """The page's order, worst first: failed runs, then by limit_ratio (the measure nearest to,
    or furthest over, its exclusion limit), then by run."""
    failed = row.status != "ok"
    ratio = row.limit_ratio if row.limit_ratio is not None else -1.0
    return (0 if failed else 1, -ratio, row.run)
