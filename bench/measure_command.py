#!/usr/bin/env python3
"""Runs one command and appends what it cost to a table.

Usage: measure_command.py TABLE LABEL COMMAND [ARGUMENT...]
Appends to TABLE one tab-separated line: label, wall time in nanoseconds, peak resident memory
of the command in kilobytes, CPU time (user and system) in seconds, from the command's own
resource usage (microsecond resolution, unlike /usr/bin/time's hundredths). The command's output
goes to TABLE.stdout and TABLE.stderr; a failing command is reported with them and ends this
script with its status.
"""
import os
import subprocess
import sys
import time


def main():
    table, label, command = sys.argv[1], sys.argv[2], sys.argv[3:]
    with open(table + ".stdout", "w") as out, open(table + ".stderr", "w") as err:
        start = time.perf_counter_ns()
        child = subprocess.Popen(command, stdout=out, stderr=err)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter_ns() - start
        child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.stderr.write(f"measure_command: {label} failed with status {child.returncode}:\n")
        for name in (table + ".stdout", table + ".stderr"):
            with open(name, encoding="utf-8", errors="replace") as text:
                sys.stderr.write(text.read())
        sys.exit(1)
    with open(table, "a", encoding="utf-8") as lines:
        lines.write(f"{label}\t{wall}\t{usage.ru_maxrss}\t{usage.ru_utime + usage.ru_stime:.6f}\n")


if __name__ == "__main__":
    main()
