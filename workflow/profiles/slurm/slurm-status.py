#!/usr/bin/env python3
"""Tells Snakemake (--cluster-status) whether a SLURM job runs, succeeded or failed, from sacct,
or from scontrol while the job is too young for the accounting database. Prints one word,
"running", "success" or "failed", and always ends with status 0: Snakemake stops the whole
workflow when this command fails.

Usage: slurm-status.py JOBID   (as sbatch --parsable printed it: "ID" or "ID;CLUSTER")
"""

import subprocess
import sys

SUCCEEDED = {"COMPLETED"}
FAILED = {
    "BOOT_FAIL", "CANCELLED", "DEADLINE", "FAILED", "NODE_FAIL", "OUT_OF_MEMORY", "PREEMPTED",
    "REVOKED", "SPECIAL_EXIT", "TIMEOUT",
}


def output(command):
    try:
        return subprocess.run(
            command, capture_output=True, text=True, timeout=60, check=True
        ).stdout
    except (OSError, subprocess.SubprocessError):
        return ""


def state(job):
    """The job's state word (COMPLETED, RUNNING, CANCELLED, ...), or "" when unknown."""
    lines = output(["sacct", "-j", job, "--allocations", "--noheader", "--parsable2",
                    "--format=State"]).split()
    if lines:
        return lines[0].rstrip("+")
    for field in output(["scontrol", "show", "job", job]).split():
        if field.startswith("JobState="):
            return field.split("=", 1)[1]
    return ""


def main():
    job = sys.argv[1].split(";")[0]
    word = state(job)
    if word in SUCCEEDED:
        print("success")
    elif word in FAILED:
        print("failed")
    else:
        if not word:
            print(f"slurm-status.py: no state for job {job} yet", file=sys.stderr)
        print("running")
    return 0


if __name__ == "__main__":
    sys.exit(main())
