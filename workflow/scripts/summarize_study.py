#!/usr/bin/env python3
"""Writes the study table (study.tsv) and the study page (index.html) from the runs' status.json
files and the files each run's folder holds."""

import argparse
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atomic_file  # noqa: E402
import study_page  # noqa: E402
import study_table  # noqa: E402


def optional_number(text):
    return None if text in ("", "none", "None", "null") else float(text)


def load(status_path, limits):
    folder = os.path.dirname(os.path.abspath(status_path))
    try:
        with open(status_path, encoding="utf-8") as stream:
            record = json.load(stream)
    except (OSError, ValueError) as error:
        record = {"status": "failed", "reason": f"its status.json cannot be read: {error}"}
    record.setdefault("run", os.path.relpath(folder).replace(os.sep, "/"))
    return study_table.load_row(folder, record, limits)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tsv", required=True)
    parser.add_argument("--page", required=True)
    parser.add_argument("--data", required=True, help="the data folder, named on the page")
    parser.add_argument("--max-flagged-percent", type=optional_number, default=20.0)
    parser.add_argument("--max-fd-voxels", type=optional_number, default=1.0)
    parser.add_argument("--notes", default="[]", help="JSON list of what discovery passed over")
    parser.add_argument("status", nargs="*", help="status.json of every run")
    arguments = parser.parse_args()

    limits = study_table.Limits(arguments.max_flagged_percent, arguments.max_fd_voxels)
    rows = [load(path, limits) for path in arguments.status]
    notes = json.loads(arguments.notes)
    atomic_file.write_text(arguments.tsv, study_table.tsv_text(rows))
    page = study_page.page_html(rows, limits, notes, arguments.data)
    atomic_file.write_text(arguments.page, page)

    failed = [row.run for row in rows if row.status != "ok"]
    excluded = [row.run for row in rows if row.status == "ok" and row.exclude]
    print(
        f"study: {len(rows)} run{'' if len(rows) == 1 else 's'}: "
        f"{len(rows) - len(failed) - len(excluded)} usable, "
        f"{len(excluded)} to exclude ({', '.join(excluded) or 'none'}), "
        f"{len(failed)} failed ({', '.join(failed) or 'none'})"
    )
    return 0


if __name__ == "__main__":
    sys.exit(main())
