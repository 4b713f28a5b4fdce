#!/usr/bin/env python3
"""Runs one run of the study through Halvorn.exe and records how it went in status.json.

The run's folder in the output folder gets links to the run's FMR project, STC and motion SDM, so
that everything the plug-in writes beside the SDM lands there and the data folder is never
written. Halvorn.exe runs there with the study's parameter file, "select_3dmcsdm" skipped by
setting "sdmfile", and the tasks "confound" and "displacement"; its log (stdout) goes to log.txt
and its message boxes and own messages (stderr) to messages.txt.

status.json says "ok" or "failed" with the reason (the error messages Halvorn.exe showed), the
exit status and the files written. A run the plug-in refuses is a result: status.json is written
and this script ends with status 0, so that a run whose input is broken is not tried again until
its input changes. When the run could not be tried at all (Halvorn.exe cannot be started, was
killed from outside, or could not write its files), nothing is recorded and the script ends with
status 1, so that Snakemake tries the run again next time.
"""

import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atomic_file  # noqa: E402

LOG = "log.txt"
MESSAGES = "messages.txt"
TRANSCRIPT = "transcript.jsonl"
PLOTS = "plots"
REPORT = "report"
TABLE_SUFFIX = "_desc-confounds_timeseries.tsv"
SIDECAR_SUFFIX = "_desc-confounds_timeseries.json"

# Signals that end a process from outside (a user, a scheduler's time or memory limit): the run
# was not judged, so it is tried again. Any other signal is a crash on this input.
OUTSIDE_SIGNALS = {signal.SIGKILL, signal.SIGTERM, signal.SIGINT, signal.SIGHUP, signal.SIGXCPU}

# Messages of a file that could not be written (a full disk, a folder without write permission):
# the machine's fault, not the run's.
WRITE_FAILURES = ("Cannot Create file:", "cannot save maps to", "Halvorn.exe: error: cannot write")


class CannotTry(Exception):
    """The run could not be tried; it is to be tried again."""


def halvorn_command(halvorn, fmr_link, sdm_link, params):
    return [
        halvorn,
        "--document", fmr_link,
        "--params", params,
        # The study table is read from the confound table, whatever the parameter file says.
        "--set", "create_table=1",
        "--set", "sdmfile=" + sdm_link,
        "--transcript", TRANSCRIPT,
        "--plots", PLOTS,
        "--report", REPORT,
        "--gzip-maps",
        "confound",
        "displacement",
    ]


def clear_run_folder(folder):
    """Removes what an earlier attempt left: every file and link (links only, never what they
    point to) and the plots and report folders. Other folders may be the folders of other runs
    (sub-01/run1/ holds sub-01/run1/extra/ when both are runs) and stay."""
    with os.scandir(folder) as entries:
        for entry in entries:
            if entry.is_symlink() or not entry.is_dir(follow_symlinks=False):
                os.unlink(entry.path)
            elif entry.name in (PLOTS, REPORT):
                shutil.rmtree(entry.path)


def link(target, link_path):
    os.makedirs(os.path.dirname(link_path), exist_ok=True)
    if os.path.lexists(link_path):  # a link in a subfolder (a "Prefix:" with a folder)
        os.unlink(link_path)
    os.symlink(target, link_path)


def unique_lines(text, keep):
    seen = []
    for line in text.splitlines():
        line = line.rstrip()
        if line and keep(line) and line not in seen:
            seen.append(line)
    return seen


def is_error(line):
    return line.startswith("Error: ") or line.startswith("Halvorn.exe: error: ")


def judge(returncode, messages, table_written, table_name):
    """(status, reason) of a finished Halvorn.exe; raises CannotTry when the run was not judged."""
    errors = unique_lines(messages, is_error)
    if returncode < 0:
        number = -returncode
        name = signal.Signals(number).name if number in signal.valid_signals() else str(number)
        if number in OUTSIDE_SIGNALS:
            raise CannotTry(f"Halvorn.exe was stopped by signal {number} ({name})")
        return "failed", f"Halvorn.exe crashed: signal {number} ({name})"
    if returncode == 0:
        if not table_written:
            return "failed", (
                f"Halvorn.exe ended with status 0 but wrote no confound table {table_name}"
            )
        return "ok", ""
    if any(failure in line for line in errors for failure in WRITE_FAILURES):
        raise CannotTry("; ".join(errors))
    if returncode not in (1, 2):
        raise CannotTry(f"Halvorn.exe ended with status {returncode}: " + "; ".join(errors))
    if errors:
        return "failed", "\n".join(errors)
    last = unique_lines(messages, lambda line: True)[-3:]
    return "failed", (
        f"Halvorn.exe ended with status {returncode}"
        + (": " + "; ".join(last) if last else " without a message")
    )


def saved_maps(transcript_path, stem):
    """{map kind: file} of every map Halvorn.exe saved, the kind being the name after the
    motion SDM's stem ("MaxAbsolute" of run1_3DMC_MaxAbsolute.nii.gz)."""
    maps = {}
    try:
        with open(transcript_path, encoding="utf-8") as stream:
            for line in stream:
                try:
                    call = json.loads(line)
                except ValueError:
                    continue
                if call.get("call") != "ztSaveMAPsOfCurrentFMR" or not call.get("file"):
                    continue
                name = os.path.basename(call.get("path", ""))
                name = os.path.splitext(name)[0]
                kind = name[len(stem) + 1:] if name.startswith(stem + "_") else name
                maps[kind] = call["file"]
    except OSError:
        pass
    return maps


def attempt(arguments):
    folder = os.path.dirname(os.path.abspath(arguments.status))
    os.makedirs(folder, exist_ok=True)
    clear_run_folder(folder)

    fmr_link = os.path.basename(arguments.fmr)
    sdm_link = os.path.basename(arguments.sdm)
    link(arguments.fmr, os.path.join(folder, fmr_link))
    link(arguments.stc, os.path.join(folder, arguments.stc_link))
    link(arguments.sdm, os.path.join(folder, sdm_link))

    command = halvorn_command(arguments.halvorn, fmr_link, sdm_link, arguments.params)
    started = time.monotonic()
    try:
        with open(os.path.join(folder, LOG), "wb") as log, open(
            os.path.join(folder, MESSAGES), "wb"
        ) as messages:
            finished = subprocess.run(
                command, cwd=folder, stdin=subprocess.DEVNULL, stdout=log, stderr=messages
            )
    except OSError as error:
        raise CannotTry(f"cannot start {arguments.halvorn}: {error.strerror}") from error
    seconds = time.monotonic() - started

    with open(os.path.join(folder, MESSAGES), encoding="utf-8", errors="replace") as stream:
        message_text = stream.read()
    stem = os.path.splitext(sdm_link)[0]
    table = stem + TABLE_SUFFIX
    status, reason = judge(
        finished.returncode,
        message_text,
        os.path.isfile(os.path.join(folder, table)),
        table,
    )

    def present(name):
        return name if os.path.exists(os.path.join(folder, name)) else None

    record = {
        "run": arguments.run,
        "status": status,
        "reason": reason,
        "exit_code": finished.returncode,
        "warnings": unique_lines(message_text, lambda line: not is_error(line)),
        "seconds": round(seconds, 3),
        "inputs": {
            "fmr": arguments.fmr,
            "stc": arguments.stc,
            "sdm": arguments.sdm,
            "params": arguments.params,
        },
        "command": command,
        "files": {
            "log": LOG,
            "messages": MESSAGES,
            "transcript": present(TRANSCRIPT),
            "report": present(os.path.join(REPORT, "index.html")),
            "table": present(table),
            "sidecar": present(stem + SIDECAR_SUFFIX),
            "maps": saved_maps(os.path.join(folder, TRANSCRIPT), stem),
        },
    }
    atomic_file.write_text(arguments.status, json.dumps(record, indent=2) + "\n")
    return record


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--run", required=True, help="the run's id, such as sub-01/run1")
    parser.add_argument("--halvorn", required=True, help="Halvorn.exe")
    parser.add_argument("--params", required=True, help="the study's parameter file")
    parser.add_argument("--fmr", required=True)
    parser.add_argument("--stc", required=True)
    parser.add_argument("--sdm", required=True)
    parser.add_argument("--stc-link", required=True, help="the STC's name beside the FMR link")
    parser.add_argument("--status", required=True, help="status.json to write, in the run's folder")
    arguments = parser.parse_args()
    try:
        record = attempt(arguments)
    except CannotTry as error:
        print(f"study: the run {arguments.run} could not be tried: {error}", file=sys.stderr)
        print("study: it is tried again the next time the study runs", file=sys.stderr)
        return 1
    print(f"study: {arguments.run}: {record['status']}"
          + (f": {record['reason']}" if record["reason"] else "")
          + f" ({record['seconds']:.2f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
