"""Finds the runs of a study: every FMR project in the data folder with its slice data (STC) and
its motion SDM, and the FMR projects that multi-study design matrices (MDMs) list.

A run is found in one of two ways:

- an FMR project NAME.fmr whose STC (named by its "Prefix:" entry, in the FMR's folder) and
  motion SDM NAME_3DMC.sdm lie beside it;
- a study line of an MDM whose data file is an FMR project: the run is that FMR with the SDM the
  line names, which may have any name and lie anywhere.

Runs are told apart by their FMR (the same file found twice is one run; a project found beside its
NAME_3DMC.sdm keeps that SDM). A run's id is the FMR's path relative to the data folder without
its extension, such as "sub-01/run1"; the run's outputs go into OUT/<id>/.

Everything that was passed over, and why, is kept as a note, so that a run missing from the study
table never goes unexplained.
"""

import os
import re
from dataclasses import dataclass, field

# Header files are small text files; a file beyond this size is no FMR project or MDM.
MAX_HEADER_BYTES = 64 * 1024 * 1024

# Names the workflow itself uses at the top of the output folder and inside each run's folder.
RESERVED_TOP_LEVEL = {"study.tsv", "index.html", ".snakemake"}
RUN_SUBFOLDERS = ("plots", "report")


@dataclass(frozen=True)
class Run:
    id: str  # FMR path relative to the data folder, without extension, "/"-separated
    fmr: str  # absolute paths in the data folder
    stc: str
    sdm: str
    stc_link: str  # where the STC link goes inside the run's folder: the FMR's "Prefix:" + ".stc"
    found_by: str  # "folder" or the MDM's path relative to the data folder


@dataclass
class Study:
    data: str
    runs: list = field(default_factory=list)
    notes: list = field(default_factory=list)


class FolderError(Exception):
    """The data or output folder cannot be used."""


def check_folders(data, out):
    """Refuses a data folder that is missing and an output folder that overlaps it: the study
    must never write into the data, and must not find its own links as new runs."""
    if not os.path.isdir(data):
        raise FolderError(f"the data folder {data} does not exist or is no folder")
    real_data = os.path.realpath(data)
    real_out = os.path.realpath(out)
    if real_out == real_data or _inside(real_out, real_data):
        raise FolderError(
            f"the output folder {out} lies inside the data folder {data}; the study never "
            "writes into its data: choose an output folder outside it"
        )
    if _inside(real_data, real_out):
        raise FolderError(
            f"the data folder {data} lies inside the output folder {out}; choose an output "
            "folder that does not hold the data"
        )


def _inside(path, folder):
    return path.startswith(folder.rstrip(os.sep) + os.sep)


def read_header_text(path):
    """The text of a small header file (FMR, MDM), or None when it is too large or unreadable."""
    try:
        if os.path.getsize(path) > MAX_HEADER_BYTES:
            return None
        with open(path, "rb") as stream:
            raw = stream.read()
    except OSError:
        return None
    if raw.startswith(b"\xef\xbb\xbf"):
        raw = raw[3:]
    return raw.decode("utf-8", errors="replace")


_PREFIX = re.compile(r'^[ \t]*Prefix:[ \t]*(.*?)[ \t\r]*$', re.MULTILINE)


def fmr_prefix(text):
    """The value of the FMR's "Prefix:" entry without its quotes, or None."""
    match = _PREFIX.search(text)
    if not match:
        return None
    value = match.group(1)
    if len(value) >= 2 and value[0] == '"' and value[-1] == '"':
        value = value[1:-1]
    return value or None


def mdm_studies(text):
    """(data file, SDM) of each study line of an MDM: the last two quoted paths of every line
    that holds at least two (an "MTC" MDM puts an extra file first)."""
    studies = []
    for line in text.splitlines():
        quoted = re.findall(r'"([^"]*)"', line)
        if len(quoted) >= 2:
            studies.append((quoted[-2], quoted[-1]))
    return studies


def _resolve_listed(path, mdm_folder):
    """A path as an MDM lists it: "\\" counts as "/", a relative path starts at the MDM's folder."""
    path = path.replace("\\", "/")
    if not os.path.isabs(path):
        path = os.path.join(mdm_folder, path)
    return os.path.normpath(path)


def _walk(data):
    """(folder, file names) of every folder under `data`, following links to folders once each,
    in a stable order."""
    seen = set()
    stack = [data]
    while stack:
        folder = stack.pop()
        real = os.path.realpath(folder)
        if real in seen:
            continue
        seen.add(real)
        try:
            entries = sorted(os.scandir(folder), key=lambda entry: entry.name)
        except OSError:
            continue
        files = []
        subfolders = []
        for entry in entries:
            try:
                if entry.is_dir():
                    subfolders.append(entry.path)
                elif entry.is_file():
                    files.append(entry.name)
            except OSError:
                continue
        yield folder, files
        stack.extend(reversed(subfolders))


def find_runs(data):
    """Every run in the data folder `data` (an absolute path), sorted by id, with notes about
    what was passed over."""
    data = os.path.normpath(data)
    study = Study(data=data)
    by_fmr = {}  # real path of the FMR -> Run
    fmr_files = []
    mdm_files = []
    for folder, files in _walk(data):
        for name in files:
            lower = name.lower()
            if lower.endswith(".fmr"):
                fmr_files.append(os.path.join(folder, name))
            elif lower.endswith(".mdm"):
                mdm_files.append(os.path.join(folder, name))

    def relative(path):
        return os.path.relpath(path, data).replace(os.sep, "/")

    def candidate(fmr, sdm, found_by):
        """The run of `fmr` with `sdm`, or None with a note saying what is missing."""
        text = read_header_text(fmr)
        prefix = fmr_prefix(text) if text is not None else None
        if prefix is None:
            study.notes.append(
                f"{relative(fmr)}: passed over, it has no \"Prefix:\" entry naming its STC file"
            )
            return None
        stc_link = prefix.replace("\\", "/") + ".stc"
        if os.path.isabs(stc_link) or ".." in stc_link.split("/"):
            study.notes.append(
                f"{relative(fmr)}: passed over, its \"Prefix:\" {prefix!r} leads out of its folder"
            )
            return None
        stc = os.path.join(os.path.dirname(fmr), stc_link)
        if not os.path.isfile(stc):
            study.notes.append(
                f"{relative(fmr)}: passed over, its STC file {relative(stc)} is missing"
            )
            return None
        if not os.path.isfile(sdm):
            study.notes.append(
                f"{relative(fmr)}: passed over, its motion SDM {relative(sdm)} is missing"
                + ("" if found_by == "folder" else f" (listed in {found_by})")
            )
            return None
        run_id = os.path.splitext(relative(fmr))[0]
        return Run(run_id, fmr, stc, sdm, stc_link, found_by)

    # FMR projects beside their NAME_3DMC.sdm. One without that SDM may still be listed in an
    # MDM; it is noted only when no MDM lists it either.
    unpaired = {}
    for fmr in fmr_files:
        sdm = os.path.splitext(fmr)[0] + "_3DMC.sdm"
        if not os.path.isfile(sdm):
            unpaired[os.path.realpath(fmr)] = fmr
            continue
        run = candidate(fmr, sdm, "folder")
        if run is not None:
            by_fmr[os.path.realpath(fmr)] = run

    for mdm in mdm_files:
        text = read_header_text(mdm)
        if text is None:
            study.notes.append(f"{relative(mdm)}: passed over, it cannot be read")
            continue
        other_data = 0
        for data_file, sdm_path in mdm_studies(text):
            if not data_file.lower().endswith(".fmr"):
                other_data += 1
                continue
            fmr = _resolve_listed(data_file, os.path.dirname(mdm))
            sdm = _resolve_listed(sdm_path, os.path.dirname(mdm))
            real_fmr = os.path.realpath(fmr)
            if not os.path.isfile(fmr):
                study.notes.append(
                    f"{relative(mdm)}: lists the FMR project {data_file}, which does not exist"
                )
                continue
            if not _inside(real_fmr, os.path.realpath(data)) and not _inside(fmr, data):
                study.notes.append(
                    f"{relative(mdm)}: lists the FMR project {data_file}, which lies outside "
                    "the data folder"
                )
                continue
            known = by_fmr.get(real_fmr)
            if known is not None:
                if os.path.realpath(known.sdm) != os.path.realpath(sdm):
                    study.notes.append(
                        f"{relative(mdm)}: lists {relative(fmr)} with the motion SDM {sdm_path}; "
                        f"the run keeps {relative(known.sdm)}"
                        + (
                            " (beside it)"
                            if known.found_by == "folder"
                            else f" (from {known.found_by})"
                        )
                    )
                continue
            unpaired.pop(real_fmr, None)
            run = candidate(fmr, sdm, relative(mdm))
            if run is not None:
                by_fmr[real_fmr] = run
        if other_data:
            study.notes.append(
                f"{relative(mdm)}: {other_data} study line{'s' if other_data != 1 else ''} "
                "with data other than an FMR project passed over"
            )

    for fmr in unpaired.values():
        study.notes.append(
            f"{relative(fmr)}: passed over, it has no motion SDM "
            f"{os.path.basename(os.path.splitext(fmr)[0])}_3DMC.sdm beside it and no MDM lists it"
        )

    runs = sorted(by_fmr.values(), key=lambda run: (run.id, run.fmr))
    ids = {run.id for run in runs}
    for run in runs:
        problem = _folder_clash(run.id, ids)
        if study.runs and study.runs[-1].id == run.id:
            # run1.fmr and run1.FMR in one folder
            problem = f"the run {relative(study.runs[-1].fmr)} has the same id {run.id}"
        if problem:
            study.notes.append(f"{relative(run.fmr)}: passed over, {problem}")
        else:
            study.runs.append(run)
    return study


def _folder_clash(run_id, ids):
    """Why the run's folder OUT/<id> cannot be used, or None."""
    parts = run_id.split("/")
    if parts[0] in RESERVED_TOP_LEVEL:
        return f"its output folder {run_id} would take the name of the study's own {parts[0]}"
    for depth in range(1, len(parts) - 1):
        if "/".join(parts[:depth]) in ids and parts[depth] in RUN_SUBFOLDERS:
            return (
                f"its output folder {run_id} would lie in the {parts[depth]} folder of the run "
                f"{'/'.join(parts[:depth])}"
            )
    return None
