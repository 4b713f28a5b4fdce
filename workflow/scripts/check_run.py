#!/usr/bin/env python3
"""Fails when a run's status.json says the run failed, with the reason on stderr and in the log,
so that Snakemake reports the run as a failed job; otherwise writes the marker file.

Usage: check_run.py STATUS_JSON MARKER LOG
"""

import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atomic_file  # noqa: E402


def main():
    status_path, marker, log = sys.argv[1:4]
    with open(status_path, encoding="utf-8") as stream:
        record = json.load(stream)
    run = record.get("run", os.path.dirname(status_path))
    if record.get("status") == "ok":
        atomic_file.write_text(log, f"{run}: ok\n")
        atomic_file.write_text(marker, "")
        return 0
    inputs = record.get("inputs", {})
    folder = os.path.dirname(os.path.abspath(status_path))
    text = (
        f"study: the run {run} failed: {record.get('reason', '(no reason recorded)')}\n"
        f"study: its FMR project is {inputs.get('fmr')}, its motion SDM {inputs.get('sdm')};\n"
        f"study: Halvorn.exe's log and messages are {folder}/log.txt and messages.txt\n"
    )
    atomic_file.write_text(log, text)
    sys.stderr.write(text)
    return 1


if __name__ == "__main__":
    sys.exit(main())
