#!/usr/bin/env python3
"""The study command end to end: a generated study of seven runs in three subjects (different
grids, one run with large jumps, one whose motion SDM is broken, one found through an MDM),
scripts/study.sh on it, and what a user would see: every run's folder, study.tsv, the study
page and a run report in headless Chromium, a second run that recomputes nothing, a changed SDM
that reruns exactly its run, the cluster path through the SLURM profile with stand-ins for
sbatch and sacct, and the data folder byte for byte and time for time as it was.

The tests run in the order of their names and share one study.

Usage: study_workflow_test.py --repository DIR --build DIR [--chromium FILE] [unittest options]
"""

import argparse
import csv
import gzip
import hashlib
import html.parser
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse

OPTIONS = None

# run id -> generate_run options; "sdm" renames the motion SDM, "broken" breaks it
RUNS = {
    "sub-01/run1": dict(size="40,40,20", volumes=80, voxel="3", seed=11, jumps=0),
    "sub-01/run2": dict(size="48,48,24", volumes=60, voxel="2.5", seed=12, jumps=0, data_type="float"),
    "sub-02/run1": dict(size="36,36,18", volumes=70, voxel="3,3,3.5", seed=13, jumps=0),
    "sub-02/run2": dict(size="32,32,16", volumes=50, voxel="3", seed=14, jumps=0, broken=True),
    "sub-02/run3": dict(size="30,34,12", volumes=40, voxel="3.5", seed=15, jumps=0),
    "sub-03/run1": dict(size="40,40,20", volumes=60, voxel="3", seed=16, jumps=25),
    "sub-03/run2": dict(size="44,40,22", volumes=64, voxel="2", seed=17, jumps=0, sdm="run2_motion.sdm"),
}
GOOD = [run for run, recipe in RUNS.items() if not recipe.get("broken")]
BROKEN = "sub-02/run2"
JUMPS = "sub-03/run1"
CHANGED = "sub-01/run1"
MAPS = ["MaxAbsolute", "MeanAbsolute", "MeanRelative", "MaxRelative", "MaxAbsoluteX",
        "MaxAbsoluteY", "MaxAbsoluteZ"]
FAMILIES = ["spikes", "detr", "deriv", "sqr", "t1", "t2", "t1sqr", "t2sqr"]


def sdm_name(run):
    return RUNS[run].get("sdm", os.path.basename(run) + "_3DMC.sdm")


def snapshot(folder):
    """Every file and folder under `folder`: kind, size, modification time and content hash."""
    state = {}
    for root, folders, files in os.walk(folder):
        for name in folders + files:
            path = os.path.join(root, name)
            info = os.lstat(path)
            digest = None
            if os.path.isfile(path) and not os.path.islink(path):
                with open(path, "rb") as stream:
                    digest = hashlib.sha256(stream.read()).hexdigest()
            state[os.path.relpath(path, folder)] = (info.st_mode, info.st_size, info.st_mtime_ns, digest)
    return state


def mtimes(folder):
    """Modification times of everything in an output folder but Snakemake's own records."""
    state = {}
    for root, folders, files in os.walk(folder):
        folders[:] = [name for name in folders if name != ".snakemake"]
        for name in files:
            path = os.path.join(root, name)
            state[os.path.relpath(path, folder)] = os.lstat(path).st_mtime_ns
    return state


def read_tsv(path):
    with open(path, encoding="utf-8", newline="") as stream:
        return {row["run"]: row for row in csv.DictReader(stream, delimiter="\t")}


def jobs_run(output, rule):
    """The runs whose job of `rule` Snakemake started, from its output."""
    runs = []
    for block in re.split(r"\n(?=\[)", output):
        if re.search(rf"^\s*(local)?rule {rule}:", block, re.MULTILINE):
            match = re.search(r"wildcards: run=(\S+)", block)
            runs.append(match.group(1) if match else None)
    return sorted(runs, key=str)


class Links(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.links = []

    def handle_starttag(self, tag, attrs):
        self.links += [value for name, value in attrs if name in ("href", "src") and value]


def unresolved_links(page):
    """Links of an HTML file that lead nowhere: anything not a file beside it, and the network."""
    collector = Links()
    with open(page, encoding="utf-8") as stream:
        collector.feed(stream.read())
    missing = []
    for link in collector.links:
        parts = urllib.parse.urlsplit(link)
        if parts.scheme in ("data",) or (not parts.scheme and not parts.path and parts.fragment):
            continue
        if parts.scheme or parts.netloc:
            missing.append(link + " (not a local file)")
            continue
        target = os.path.join(os.path.dirname(page), urllib.parse.unquote(parts.path))
        if not os.path.exists(target):
            missing.append(link)
    return collector.links, missing


def nifti_float_maximum(path):
    """An independent read of a float32 NIfTI-1 map: the largest voxel value."""
    with gzip.open(path, "rb") as stream:
        data = stream.read()
    assert struct.unpack("<i", data[:4])[0] == 348
    dims = struct.unpack("<8h", data[40:56])
    assert struct.unpack("<h", data[70:72])[0] == 16
    offset = int(struct.unpack("<f", data[108:112])[0])
    count = dims[1] * dims[2] * dims[3]
    return max(struct.unpack(f"<{count}f", data[offset:offset + 4 * count])), dims[1:4]


class StudyWorkflowTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="quelmar-study-")
        cls.data = os.path.join(cls.folder, "data")
        cls.out = os.path.join(cls.folder, "out")
        cls.halvorn = os.path.join(OPTIONS.build, "bin", "Halvorn.exe")
        cls.config = []  # more KEY=VALUE for --config
        cls.generate_study()
        cls.data_before = snapshot(cls.data)
        cls.first = cls.study(cls.out)

    @classmethod
    def tearDownClass(cls):
        if os.environ.get("QUELMAR_KEEP_STUDY"):
            print(f"study kept in {cls.folder}", file=sys.stderr)
        else:
            shutil.rmtree(cls.folder, ignore_errors=True)

    @classmethod
    def generate_study(cls):
        for run, recipe in RUNS.items():
            folder = os.path.join(cls.data, os.path.dirname(run))
            os.makedirs(folder, exist_ok=True)
            subprocess.run(
                [os.path.join(OPTIONS.build, "bin", "generate_run"), "--dir", folder,
                 "--name", os.path.basename(run), "--size", recipe["size"],
                 "--volumes", str(recipe["volumes"]), "--voxel", recipe["voxel"],
                 "--seed", str(recipe["seed"]), "--jumps", str(recipe["jumps"]),
                 "--data-type", recipe.get("data_type", "16")],
                check=True, stdout=subprocess.DEVNULL)
            sdm = os.path.join(folder, os.path.basename(run) + "_3DMC.sdm")
            if recipe.get("broken"):
                with open(sdm) as stream:
                    lines = stream.read().split("\n")
                lines[19] = "  abc" + lines[19][lines[19].index(" ", 3):]
                with open(sdm, "w") as stream:
                    stream.write("\n".join(lines))
            if "sdm" in recipe:
                os.rename(sdm, os.path.join(folder, recipe["sdm"]))
        # sub-03/run2's motion SDM has its own name: an MDM lists it (with Windows separators).
        with open(os.path.join(cls.data, "sub-03", "study.mdm"), "w", newline="") as stream:
            stream.write('\r\nFileVersion:          3\r\nTypeOfFunctionalData: FMR\r\n\r\n'
                         'NrOfStudies:          1\r\n".\\run2.fmr" ".\\run2_motion.sdm"\r\n')
        # A scout without motion SDM is no run.
        subprocess.run(
            [os.path.join(OPTIONS.build, "bin", "generate_run"), "--dir",
             os.path.join(cls.data, "sub-03"), "--name", "scout", "--size", "16,16,4",
             "--volumes", "3", "--jumps", "0"], check=True, stdout=subprocess.DEVNULL)
        os.remove(os.path.join(cls.data, "sub-03", "scout_3DMC.sdm"))

    @classmethod
    def study(cls, out, *options, environment=None):
        command = [os.path.join(OPTIONS.repository, "scripts", "study.sh"), cls.data, out,
                   *options, "--config", f"halvorn={cls.halvorn}", *cls.config]
        if "--profile" not in options:
            command[3:3] = ["--cores", "2"]
        started = time.monotonic()
        finished = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  text=True, env=environment, stdin=subprocess.DEVNULL,
                                  cwd=cls.folder)
        seconds = time.monotonic() - started
        print(f"\n$ {' '.join(command)}\n(status {finished.returncode}, {seconds:.1f} s)",
              file=sys.stderr)
        return finished

    def run_folder(self, run, out=None):
        return os.path.join(out or self.out, run)

    def test_1_every_good_run_has_its_outputs_and_its_row(self):
        rows = read_tsv(os.path.join(self.out, "study.tsv"))
        self.assertEqual(sorted(rows), sorted(RUNS))
        for run in GOOD:
            with self.subTest(run=run):
                folder = self.run_folder(run)
                stem = os.path.splitext(sdm_name(run))[0]
                with open(os.path.join(folder, "status.json")) as stream:
                    status = json.load(stream)
                self.assertEqual((status["status"], status["exit_code"]), ("ok", 0))
                # Links into the data folder, under the names Halvorn.exe looks for.
                name = os.path.basename(run)
                for link, target in ((name + ".fmr", name + ".fmr"), (name + ".stc", name + ".stc"),
                                     (sdm_name(run), sdm_name(run))):
                    path = os.path.join(folder, link)
                    self.assertTrue(os.path.islink(path), path)
                    self.assertEqual(os.readlink(path),
                                     os.path.join(self.data, os.path.dirname(run), target))
                written = [f"{stem}_{family}.sdm" for family in FAMILIES if family != "spikes"]
                written += [f"{stem}_desc-confounds_timeseries.tsv",
                            f"{stem}_desc-confounds_timeseries.json",
                            "transcript.jsonl", "log.txt", "report/index.html", "check.log"]
                written += [f"{stem}_{kind}.nii.gz" for kind in MAPS]
                for file in written:
                    self.assertGreater(os.path.getsize(os.path.join(folder, file)), 0, file)
                for file in ("messages.txt", "check.ok"):  # empty: no message box, no failure
                    self.assertEqual(os.path.getsize(os.path.join(folder, file)), 0, file)
                pictures = os.listdir(os.path.join(folder, "plots"))
                self.assertTrue(any(name.endswith(".png") for name in pictures))
                with open(os.path.join(folder, "log.txt")) as stream:
                    self.assertIn("Plugin finished!", stream.read())

                # The row against the run's own files, read here independently.
                row = rows[run]
                table_path = os.path.join(folder, f"{stem}_desc-confounds_timeseries.tsv")
                with open(table_path, newline="") as stream:
                    table = list(csv.DictReader(stream, delimiter="\t"))
                recipe = RUNS[run]
                self.assertEqual(row["status"], "ok")
                self.assertEqual(int(row["volumes"]), recipe["volumes"])
                self.assertEqual(len(table), recipe["volumes"])
                fd = [float(line["framewise_displacement"]) for line in table[1:]]
                rms = [float(line["relative_rms"]) for line in table[1:]]
                flagged = sum(
                    1 for line in table
                    if any(line[key] == "1" for key in line if key.startswith("motion_outlier"))
                )
                largest, dims = nifti_float_maximum(
                    os.path.join(folder, f"{stem}_MaxAbsolute.nii.gz"))
                self.assertEqual(",".join(map(str, dims)), recipe["size"])
                self.assertGreater(largest, 0.0)
                expected = {
                    "framewise_displacement_max": max(fd),
                    "framewise_displacement_mean": sum(fd) / len(fd),
                    "relative_rms_max": max(rms),
                    "relative_rms_mean": sum(rms) / len(rms),
                    "flagged_percent": 100.0 * flagged / len(table),
                    "max_voxel_displacement": largest,
                    "voxel_size": min(float(v) for v in recipe["voxel"].split(",")),
                }
                for column, value in expected.items():
                    # six significant digits in the table
                    self.assertAlmostEqual(float(row[column]), value, delta=1e-5 * max(value, 1e-3),
                                           msg=column)
                self.assertEqual(int(row["flagged_volumes"]), flagged)
                self.assertEqual(row["warnings"], "n/a")
                if run != JUMPS:
                    self.assertEqual((row["exclude"], row["reason"]), ("no", "n/a"))

    def test_2_broken_run_fails_alone_with_its_reason(self):
        self.assertNotEqual(self.first.returncode, 0, self.first.stdout)
        output = self.first.stdout
        self.assertIn(f"study: the run {BROKEN} failed: Error: Invalid SDM file run2_3DMC.sdm, line 20: "
                      '"abc" is not a number', output)
        self.assertIn("Error in rule check:", output)
        self.assertEqual(output.count("Error in rule"), 1, output)
        folder = self.run_folder(BROKEN)
        with open(os.path.join(folder, "check.log")) as stream:
            log = stream.read()
        self.assertIn('"abc" is not a number', log)
        self.assertIn(os.path.join(self.data, "sub-02", "run2_3DMC.sdm"), log)
        with open(os.path.join(folder, "messages.txt")) as stream:
            self.assertIn('"abc" is not a number', stream.read())
        self.assertFalse(os.path.exists(os.path.join(folder, "check.ok")))
        row = read_tsv(os.path.join(self.out, "study.tsv"))[BROKEN]
        self.assertEqual((row["status"], row["exclude"], row["volumes"]), ("failed", "yes", "n/a"))
        self.assertEqual(row["reason"], 'Error: Invalid SDM file run2_3DMC.sdm, line 20: "abc" is not a number')
        for run in GOOD:
            self.assertTrue(os.path.exists(os.path.join(self.run_folder(run), "check.ok")), run)

    def test_3_run_with_large_jumps_is_marked_for_exclusion(self):
        rows = read_tsv(os.path.join(self.out, "study.tsv"))
        row = rows[JUMPS]
        self.assertEqual(row["exclude"], "yes")
        self.assertGreater(float(row["flagged_percent"]), 20.0)
        self.assertIn("of volumes flagged (limit 20%)", row["reason"])
        self.assertGreater(float(row["limit_ratio"]), 1.0)
        for run in GOOD:
            if run != JUMPS:
                self.assertEqual(rows[run]["exclude"], "no", run)
                self.assertLessEqual(float(rows[run]["limit_ratio"]), 1.0, run)

    def test_4_discovery_reports_what_it_found_and_passed_over(self):
        self.assertIn(f"study: 7 runs in {self.data}", self.first.stdout)
        self.assertIn("study: sub-03/scout.fmr: passed over, it has no motion SDM scout_3DMC.sdm "
                      "beside it and no MDM lists it", self.first.stdout)
        with open(os.path.join(self.run_folder("sub-03/run2"), "status.json")) as stream:
            self.assertEqual(json.load(stream)["inputs"]["sdm"],
                             os.path.join(self.data, "sub-03", "run2_motion.sdm"))

    def test_5_running_again_recomputes_nothing(self):
        before = mtimes(self.out)
        again = self.study(self.out)
        self.assertNotEqual(again.returncode, 0)
        self.assertEqual(jobs_run(again.stdout, "attempt"), [], again.stdout)
        self.assertEqual(jobs_run(again.stdout, "summary"), [], again.stdout)
        # Only the broken run is reported again.
        self.assertEqual(jobs_run(again.stdout, "check"), [BROKEN], again.stdout)
        after = mtimes(self.out)
        changed = sorted(path for path in after if before.get(path) != after[path])
        self.assertEqual(changed, [f"{BROKEN}/check.log"])

    def test_6_a_changed_sdm_reruns_exactly_its_run(self):
        sdm = os.path.join(self.data, CHANGED + "_3DMC.sdm")
        with open(sdm, newline="") as stream:
            lines = stream.read().split("\n")
        # The first motion value of volume 30 (volume 0 is on line 10) moves by 0.25 mm.
        values = lines[39].split()
        values[0] = f"{float(values[0]) + 0.25:.6f}"
        lines[39] = " " + "  ".join(values) + "\r"
        with open(sdm, "w", newline="") as stream:
            stream.write("\n".join(lines))
        self.__class__.data_before = snapshot(self.data)
        before = mtimes(self.out)
        again = self.study(self.out)
        self.assertEqual(jobs_run(again.stdout, "attempt"), [CHANGED], again.stdout)
        self.assertEqual(jobs_run(again.stdout, "summary"), [None])
        after = mtimes(self.out)
        for run in RUNS:
            status = f"{run}/status.json"
            self.assertEqual(after[status] != before[status], run == CHANGED, run)
        with open(os.path.join(self.run_folder(CHANGED), "run1_3DMC_desc-confounds_timeseries.tsv"),
                  newline="") as stream:
            table = list(csv.DictReader(stream, delimiter="\t"))
        self.assertAlmostEqual(float(table[30]["trans_x"]), float(values[0]), places=5)

    def test_6b_changed_parameters_rerun_every_run(self):
        # A lab's own parameter file: the shipped one with another spike threshold.
        lab = os.path.join(self.folder, "lab.params")
        with open(os.path.join(OPTIONS.build, "bin", "quelmar-defaults.params")) as stream:
            text = stream.read()
        with open(lab, "w") as stream:
            stream.write(text.replace("\nspike_threshold=0.5\n", "\nspike_threshold=0.45\n"))
        self.__class__.config = ["params=lab.params"]  # relative to where the command starts
        again = self.study(self.out)
        self.assertEqual(jobs_run(again.stdout, "attempt"), sorted(RUNS), again.stdout)
        with open(os.path.join(self.run_folder(GOOD[0]), "transcript.jsonl")) as stream:
            self.assertIn('"name":"spike_threshold","value":0.44999998807907104,"text":"0.45"',
                          stream.read().replace(" ", ""))
        # The same file, changed: every run again. Unchanged: none.
        with open(lab, "w") as stream:
            stream.write(text.replace("\nspike_threshold=0.5\n", "\nspike_threshold=0.45\n")
                         .replace("\nfmr_threshold=100\n", "\nfmr_threshold=120\n"))
        again = self.study(self.out)
        self.assertEqual(jobs_run(again.stdout, "attempt"), sorted(RUNS), again.stdout)
        again = self.study(self.out)
        self.assertEqual(jobs_run(again.stdout, "attempt"), [], again.stdout)

    def test_7_cluster_path_submits_through_the_slurm_profile(self):
        out = os.path.join(self.folder, "out-cluster")
        records = os.path.join(self.folder, "slurm")
        environment = dict(os.environ)
        stand_ins = os.path.join(OPTIONS.repository, "tests", "workflow", "fake-slurm")
        environment["PATH"] = stand_ins + os.pathsep + environment["PATH"]
        environment["FAKE_SLURM_DIR"] = records
        # Snakemake looks at cluster jobs every 10 s, every second when CI is "true".
        environment["CI"] = "true"
        profile = os.path.join(OPTIONS.repository, "workflow", "profiles", "slurm")
        finished = self.study(out, "--profile", profile, "--max-status-checks-per-second", "10",
                              environment=environment)
        self.assertNotEqual(finished.returncode, 0)  # the broken run
        self.assertIn("with external jobid '1001'", finished.stdout)
        submissions = sorted(name for name in os.listdir(records) if name.endswith(".options"))
        self.assertEqual(submissions, ["1001.options"], finished.stdout)  # seven runs, one group
        with open(os.path.join(records, "1001.options")) as stream:
            options = stream.read().split("\n")
        for option in ("--parsable", "--job-name=quelmar-runs", "--cpus-per-task=1", "--mem=1000",
                       "--output=slurm-logs/%j.out"):
            self.assertIn(option, options)
        with open(os.path.join(records, "1001.state")) as stream:
            self.assertEqual(stream.read().strip(), "COMPLETED")
        with open(os.path.join(out, "slurm-logs", "1001.out")) as stream:
            job_log = stream.read()
        for run in RUNS:
            self.assertIn(f"wildcards: run={run}", job_log)
        self.assertEqual(read_tsv(os.path.join(out, "study.tsv")),
                         read_tsv(os.path.join(self.out, "study.tsv")))

    def test_7b_changed_limits_rewrite_only_the_table_and_page(self):
        before = read_tsv(os.path.join(self.out, "study.tsv"))
        self.__class__.config = self.config + ["exclusion={max_flagged_percent: 50}"]
        again = self.study(self.out)
        self.assertEqual(jobs_run(again.stdout, "attempt"), [], again.stdout)
        self.assertEqual(jobs_run(again.stdout, "summary"), [None], again.stdout)
        after = read_tsv(os.path.join(self.out, "study.tsv"))
        self.assertEqual(after[JUMPS]["exclude"], "yes")  # its largest framewise displacement
        self.assertNotIn("flagged", after[JUMPS]["reason"])
        self.assertIn("flagged", before[JUMPS]["reason"])
        self.assertLess(float(after[JUMPS]["limit_ratio"]), float(before[JUMPS]["limit_ratio"]))

    def chromium(self, url, *arguments):
        if not OPTIONS.chromium:
            self.fail("Chromium was not found when the build was configured; "
                      "install it with scripts/install-deps.sh")
        profile = tempfile.mkdtemp(prefix="chromium-", dir=self.folder)
        command = ["/usr/bin/timeout", "180", OPTIONS.chromium, "--headless", "--no-sandbox",
                   "--disable-gpu", "--disable-quic", "--no-first-run",
                   "--disable-background-networking", "--disable-component-update",
                   "--disable-sync", "--hide-scrollbars", f"--user-data-dir={profile}",
                   *arguments, url]
        return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                              stdin=subprocess.DEVNULL)

    def test_8_study_page_and_a_run_report_in_chromium(self):
        page = os.path.join(self.out, "index.html")
        rendered = self.chromium("file://" + page, "--dump-dom")
        dom = rendered.stdout
        self.assertEqual(rendered.returncode, 0, rendered.stderr)
        self.assertIn('<table id="runs">', dom)
        ids = re.findall(r'<tr class="(\w+)" id="run-([^"]+)"', dom)
        # The failed run first, then the excluded one, then the rest by their nearness to a limit.
        self.assertEqual(ids[0], ("failed", BROKEN))
        self.assertEqual(ids[1], ("excluded", JUMPS))
        self.assertEqual(sorted(run for _, run in ids), sorted(RUNS))
        self.assertIn('"abc" is not a number', dom.replace("&quot;", '"'))
        self.assertEqual(dom.count('<svg class="trace"'), len(GOOD))
        screenshot = os.path.join(self.folder, "study-page.png")
        shot = self.chromium("file://" + page, f"--screenshot={screenshot}", "--window-size=1400,1000")
        self.assertEqual(shot.returncode, 0, shot.stderr)
        self.assertGreater(os.path.getsize(screenshot), 20000)

        links, missing = unresolved_links(page)
        self.assertEqual(missing, [])
        for run in RUNS:
            self.assertIn(f"{run}/report/index.html", links)

        report = os.path.join(self.run_folder(GOOD[0]), "report", "index.html")
        rendered = self.chromium("file://" + report, "--dump-dom")
        self.assertEqual(rendered.returncode, 0, rendered.stderr)
        self.assertIn("<img", rendered.stdout)
        links, missing = unresolved_links(report)
        self.assertEqual(missing, [])
        self.assertTrue(any(link.endswith(".png") for link in links), links)

    def test_9_data_folder_is_unchanged(self):
        self.assertEqual(snapshot(self.data), self.data_before)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repository", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--chromium", default="")
    global OPTIONS
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
