#!/usr/bin/env python3
"""Unit tests of the study workflow's helper scripts (workflow/scripts/): finding runs, judging a
finished Halvorn.exe, reading NIfTI maps, the study table's rows and limits, the study page's
escaping, and clearing a run's folder.

Usage: study_scripts_test.py [unittest options]
"""

import gzip
import html.parser
import os
import signal
import struct
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.abspath(os.path.join(HERE, "..", "..", "workflow", "scripts")))

import attempt_run  # noqa: E402
import discovery  # noqa: E402
import nifti_maximum  # noqa: E402
import study_page  # noqa: E402
import study_table  # noqa: E402

FMR_TEXT = (
    'FileVersion: 7\nNrOfVolumes: 10\nNrOfSlices: 2\nPrefix: "{prefix}"\n'
    "ResolutionX: 4\nResolutionY: 4\n"
)


def write(path, text="", mode="w"):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, mode) as stream:
        stream.write(text)


def make_run(folder, name, prefix=None, sdm=True, stc=True):
    prefix = name if prefix is None else prefix
    write(os.path.join(folder, name + ".fmr"), FMR_TEXT.format(prefix=prefix))
    if stc:
        write(os.path.join(folder, prefix + ".stc"), "x")
    if sdm:
        write(os.path.join(folder, name + "_3DMC.sdm"), "sdm")


class TemporaryFolderTest(unittest.TestCase):
    def setUp(self):
        self._folder = tempfile.TemporaryDirectory(prefix="quelmar-study-unit-")
        self.folder = self._folder.name
        self.data = os.path.join(self.folder, "data")
        os.makedirs(self.data)

    def tearDown(self):
        self._folder.cleanup()

    def notes_text(self, study):
        return "\n".join(study.notes)


class DiscoveryTest(TemporaryFolderTest):
    def test_runs_beside_their_motion_sdm_in_any_subfolder(self):
        make_run(os.path.join(self.data, "sub-01"), "run1")
        make_run(os.path.join(self.data, "sub-02", "ses-1"), "run1", prefix="other")
        study = discovery.find_runs(self.data)
        self.assertEqual([run.id for run in study.runs], ["sub-01/run1", "sub-02/ses-1/run1"])
        second = study.runs[1]
        self.assertEqual(second.stc, os.path.join(self.data, "sub-02", "ses-1", "other.stc"))
        self.assertEqual(second.stc_link, "other.stc")
        self.assertEqual(second.sdm, os.path.join(self.data, "sub-02", "ses-1", "run1_3DMC.sdm"))
        self.assertEqual(second.found_by, "folder")
        self.assertEqual(study.notes, [])

    def test_runs_an_mdm_lists_with_relative_absolute_and_backslash_paths(self):
        sub = os.path.join(self.data, "sub-01")
        make_run(sub, "a", sdm=False)
        make_run(sub, "b", sdm=False)
        make_run(os.path.join(sub, "deep"), "c", sdm=False)
        write(os.path.join(sub, "motion", "a.sdm"))
        write(os.path.join(sub, "motion", "b.sdm"))
        write(os.path.join(sub, "motion", "c.sdm"))
        mdm = (
            "FileVersion: 3\r\nTypeOfFunctionalData: MTC\r\nNrOfStudies: 3\r\n"
            '"a.fmr" "motion/a.sdm"\r\n'
            f'"{sub}/b.fmr"  "{sub}/motion/b.sdm"\r\n'
            '"extra.ssm" "deep\\c.fmr" "motion\\c.sdm"\r\n'
        )
        write(os.path.join(sub, "study.mdm"), mdm)
        study = discovery.find_runs(self.data)
        self.assertEqual([run.id for run in study.runs], ["sub-01/a", "sub-01/b", "sub-01/deep/c"])
        self.assertEqual(study.runs[0].sdm, os.path.join(sub, "motion", "a.sdm"))
        self.assertEqual(study.runs[2].sdm, os.path.join(sub, "motion", "c.sdm"))
        self.assertEqual({run.found_by for run in study.runs}, {"sub-01/study.mdm"})
        self.assertEqual(study.notes, [])

    def test_one_run_per_fmr_and_the_sdm_beside_it_wins(self):
        sub = os.path.join(self.data, "sub-01")
        make_run(sub, "run1")
        write(os.path.join(sub, "other.sdm"))
        write(os.path.join(sub, "one.mdm"),
              'NrOfStudies: 2\n"run1.fmr" "run1_3DMC.sdm"\n"run1.fmr" "other.sdm"\n')
        study = discovery.find_runs(self.data)
        self.assertEqual(len(study.runs), 1)
        self.assertEqual(study.runs[0].sdm, os.path.join(sub, "run1_3DMC.sdm"))
        self.assertIn(
            "sub-01/one.mdm: lists sub-01/run1.fmr with the motion SDM other.sdm; the run keeps "
            "sub-01/run1_3DMC.sdm (beside it)",
            study.notes,
        )

    def test_what_is_passed_over_is_noted(self):
        sub = os.path.join(self.data, "sub-01")
        make_run(sub, "no_sdm", sdm=False)
        make_run(sub, "no_stc", stc=False)
        write(os.path.join(sub, "no_prefix.fmr"), "NrOfVolumes: 3\n")
        write(os.path.join(sub, "no_prefix_3DMC.sdm"))
        outside = os.path.join(self.folder, "outside")
        make_run(outside, "far")
        write(
            os.path.join(sub, "list.mdm"),
            f'NrOfStudies: 4\n"missing.fmr" "missing.sdm"\n"{outside}/far.fmr" "{outside}/far_3DMC.sdm"\n'
            '"run.vtc" "run.sdm"\n"no_sdm.fmr" "gone.sdm"\n',
        )
        study = discovery.find_runs(self.data)
        self.assertEqual(study.runs, [])
        notes = self.notes_text(study)
        for expected in (
            "sub-01/no_stc.fmr: passed over, its STC file sub-01/no_stc.stc is missing",
            'sub-01/no_prefix.fmr: passed over, it has no "Prefix:" entry',
            "sub-01/list.mdm: lists the FMR project missing.fmr, which does not exist",
            "which lies outside the data folder",
            "sub-01/list.mdm: 1 study line with data other than an FMR project passed over",
            "sub-01/no_sdm.fmr: passed over, its motion SDM sub-01/gone.sdm is missing "
            "(listed in sub-01/list.mdm)",
        ):
            self.assertIn(expected, notes)

    def test_an_fmr_without_sdm_and_without_mdm_is_noted(self):
        make_run(self.data, "scout", sdm=False)
        study = discovery.find_runs(self.data)
        self.assertEqual(study.runs, [])
        self.assertIn(
            "scout.fmr: passed over, it has no motion SDM scout_3DMC.sdm beside it and no MDM "
            "lists it",
            study.notes,
        )

    def test_a_run_folder_that_would_lie_in_another_runs_report_folder_is_refused(self):
        make_run(self.data, "run1")
        make_run(os.path.join(self.data, "run1", "report"), "index")
        make_run(self.data, "study.tsv")
        make_run(os.path.join(self.data, "run1"), "extra")  # a folder of its own inside run1/: fine
        study = discovery.find_runs(self.data)
        self.assertEqual([run.id for run in study.runs], ["run1", "run1/extra"])
        notes = self.notes_text(study)
        self.assertIn("would lie in the report folder of the run run1", notes)
        self.assertIn("would take the name of the study's own study.tsv", notes)

    def test_a_link_loop_in_the_data_folder_ends(self):
        make_run(os.path.join(self.data, "sub-01"), "run1")
        os.symlink(self.data, os.path.join(self.data, "sub-01", "loop"))
        study = discovery.find_runs(self.data)
        self.assertEqual([run.id for run in study.runs], ["sub-01/run1"])

    def test_output_folder_overlapping_the_data_folder_is_refused(self):
        for out in (self.data, os.path.join(self.data, "out")):
            with self.assertRaisesRegex(discovery.FolderError, "lies inside the data folder"):
                discovery.check_folders(self.data, out)
        with self.assertRaisesRegex(discovery.FolderError, "lies inside the output folder"):
            discovery.check_folders(self.data, self.folder)
        with self.assertRaisesRegex(discovery.FolderError, "does not exist"):
            discovery.check_folders(os.path.join(self.folder, "none"), os.path.join(self.folder, "out"))
        discovery.check_folders(self.data, os.path.join(self.folder, "out"))

    def test_fmr_prefix_and_mdm_study_lines(self):
        self.assertEqual(discovery.fmr_prefix('Prefix:   "run 1"  \r\n'), "run 1")
        self.assertEqual(discovery.fmr_prefix("Prefix: run1\n"), "run1")
        self.assertIsNone(discovery.fmr_prefix('Prefix: ""\n'))
        self.assertEqual(
            discovery.mdm_studies('NrOfStudies: 2\n"a.fmr" "a.sdm"\n\n"x" "b.fmr" "b.sdm"\n"lonely"\n'),
            [("a.fmr", "a.sdm"), ("b.fmr", "b.sdm")],
        )


class JudgeTest(unittest.TestCase):
    TABLE = "run_3DMC_desc-confounds_timeseries.tsv"

    def test_outcomes_of_a_finished_halvorn(self):
        error = 'Error: Invalid SDM file run.sdm, line 20: "abc" is not a number\n'
        cases = [
            # returncode, messages, table written -> status, reason
            (0, "", True, ("ok", "")),
            (0, "Halvorn.exe: warning: parameter x\n", True, ("ok", "")),
            (0, "", False,
             ("failed", f"Halvorn.exe ended with status 0 but wrote no confound table {self.TABLE}")),
            (1, error + error, False, ("failed", error.strip())),
            (2, "Halvorn.exe: error: parameter spike_threshold=\"0,5\" is not a number\n", False,
             ("failed", 'Halvorn.exe: error: parameter spike_threshold="0,5" is not a number')),
            (1, "something odd\n", False, ("failed", "Halvorn.exe ended with status 1: something odd")),
            (1, "", False, ("failed", "Halvorn.exe ended with status 1 without a message")),
            (-signal.SIGSEGV, "", False,
             ("failed", f"Halvorn.exe crashed: signal {int(signal.SIGSEGV)} (SIGSEGV)")),
        ]
        for returncode, messages, written, expected in cases:
            with self.subTest(returncode=returncode, messages=messages):
                self.assertEqual(attempt_run.judge(returncode, messages, written, self.TABLE), expected)

    def test_a_run_that_could_not_be_tried_is_tried_again(self):
        cases = [
            (1, "Error: Cannot Create file: run_3DMC_detr.sdm (file too large)\n"),
            (1, "Error: cannot save maps to run_MaxAbsolute.nii.gz: No space left on device\n"),
            (1, "Halvorn.exe: error: cannot write the transcript transcript.jsonl: No space left\n"),
            (-signal.SIGKILL, ""),
            (-signal.SIGTERM, ""),
            (127, "bash: Halvorn.exe: not found\n"),
        ]
        for returncode, messages in cases:
            with self.subTest(returncode=returncode, messages=messages):
                with self.assertRaises(attempt_run.CannotTry):
                    attempt_run.judge(returncode, messages, False, self.TABLE)


class ClearRunFolderTest(TemporaryFolderTest):
    def test_files_links_plots_and_report_go_other_folders_and_link_targets_stay(self):
        run = os.path.join(self.folder, "out", "run1")
        target = os.path.join(self.data, "run1.sdm")
        write(target, "motion")
        write(os.path.join(run, "status.json"), "{}")
        write(os.path.join(run, "plots", "plot-01.png"), "png")
        write(os.path.join(run, "report", "index.html"), "html")
        write(os.path.join(run, "extra", "status.json"), "{}")  # the folder of the run run1/extra
        os.symlink(target, os.path.join(run, "run1.sdm"))
        os.symlink(self.data, os.path.join(run, "linked-folder"))
        attempt_run.clear_run_folder(run)
        self.assertEqual(sorted(os.listdir(run)), ["extra"])
        self.assertTrue(os.path.isfile(os.path.join(run, "extra", "status.json")))
        with open(target) as stream:
            self.assertEqual(stream.read(), "motion")


def nifti_bytes(values, typecode, datatype, order="<", slope=0.0, inter=0.0, dims=None):
    header = bytearray(348)
    struct.pack_into(order + "i", header, 0, 348)
    dims = dims or (3, len(values), 1, 1, 1, 1, 1, 1)
    struct.pack_into(order + "8h", header, 40, *dims)
    struct.pack_into(order + "hh", header, 70, datatype, struct.calcsize(typecode) * 8)
    struct.pack_into(order + "f", header, 108, 352.0)
    struct.pack_into(order + "ff", header, 112, slope, inter)
    header[344:348] = b"n+1\0"
    return bytes(header) + b"\0" * 4 + struct.pack(order + typecode * len(values), *values)


class NiftiMaximumTest(TemporaryFolderTest):
    def check(self, name, content, expected):
        path = os.path.join(self.folder, name)
        opener = gzip.open if name.endswith(".gz") else open
        with opener(path, "wb") as stream:
            stream.write(content)
        self.assertEqual(nifti_maximum.maximum(path), expected)

    def test_float_maps_plain_and_compressed_in_either_byte_order(self):
        values = [0.0, 2.5, float("nan"), 1.25, float("inf")]
        self.check("le.nii", nifti_bytes(values, "f", 16), 2.5)
        self.check("be.nii.gz", nifti_bytes(values, "f", 16, order=">"), 2.5)

    def test_scaled_integers(self):
        self.check("scaled.nii", nifti_bytes([3, -7, 5], "h", 4, slope=0.5, inter=1.0), 3.5)
        self.check("negative-slope.nii", nifti_bytes([3, -7, 5], "h", 4, slope=-1.0), 7.0)

    def test_nothing_finite(self):
        self.check("nan.nii", nifti_bytes([float("nan")], "f", 16), None)

    def test_broken_files_are_named(self):
        path = os.path.join(self.folder, "cut.nii")
        with open(path, "wb") as stream:
            stream.write(nifti_bytes([1.0, 2.0], "f", 16)[:-3])
        with self.assertRaisesRegex(nifti_maximum.NiftiError, "cut.nii is cut short"):
            nifti_maximum.maximum(path)
        with open(path, "wb") as stream:
            stream.write(b"\0" * 400)
        with self.assertRaisesRegex(nifti_maximum.NiftiError, "no NIfTI-1 image"):
            nifti_maximum.maximum(path)
        with open(path, "wb") as stream:
            stream.write(nifti_bytes([1], "b", 1024))
        with self.assertRaisesRegex(nifti_maximum.NiftiError, "datatype 1024"):
            nifti_maximum.maximum(path)


def ok_row(**values):
    row = study_table.RunRow(run="sub-01/run1", status="ok", volumes=100, voxel_size=3.0,
                             flagged_volumes=0, flagged_percent=0.0,
                             framewise_displacement_max=0.5)
    for key, value in values.items():
        setattr(row, key, value)
    return row


class LimitsTest(unittest.TestCase):
    def test_a_run_is_excluded_only_above_a_limit(self):
        limits = study_table.Limits(20.0, 1.0)
        cases = [
            # flagged percent, largest FD, voxel size -> exclude, reason, ratio
            (20.0, 3.0, 3.0, False, "", 1.0),
            (20.5, 1.0, 3.0, True, "20.5% of volumes flagged (limit 20%)", 20.5 / 20),
            (0.0, 3.25, 3.0, True, "largest framewise displacement 3.25 mm above the voxel size 3 mm", 3.25 / 3),
            (25.0, 6.0, 2.0, True,
             "25% of volumes flagged (limit 20%); "
             "largest framewise displacement 6 mm above the voxel size 2 mm", 3.0),
        ]
        for percent, fd, voxel, exclude, reason, ratio in cases:
            with self.subTest(percent=percent, fd=fd, voxel=voxel):
                row = ok_row(flagged_percent=percent, framewise_displacement_max=fd, voxel_size=voxel)
                study_table.apply_limits(row, limits)
                self.assertEqual((row.exclude, row.reason), (exclude, reason))
                self.assertAlmostEqual(row.limit_ratio, ratio)

    def test_limits_switched_off_or_scaled(self):
        row = ok_row(flagged_percent=90.0, framewise_displacement_max=2.0)
        study_table.apply_limits(row, study_table.Limits(None, 0.5))
        self.assertEqual(row.reason, "largest framewise displacement 2 mm above 0.5 x the voxel size 3 mm")
        row = ok_row(flagged_percent=90.0, framewise_displacement_max=20.0)
        study_table.apply_limits(row, study_table.Limits(None, None))
        self.assertEqual((row.exclude, row.limit_ratio), (False, None))

    def test_a_limit_that_cannot_be_applied_says_so(self):
        row = ok_row(flagged_volumes=None, flagged_percent=None, voxel_size=None)
        study_table.apply_limits(row, study_table.Limits(20.0, 1.0))
        self.assertFalse(row.exclude)
        self.assertIn("the limit on flagged volumes cannot be applied", row.warnings)
        self.assertIn("the limit on framewise displacement cannot be applied", row.warnings)


class TableTextTest(unittest.TestCase):
    def test_cells_are_single_line_and_numbers_locale_free(self):
        failed = study_table.RunRow(run="sub-02/run2", status="failed", exclude=True,
                                    reason="Error: one\nError:\ttwo", warnings=["a\tb"])
        good = ok_row(relative_rms_mean=0.000012345678, relative_rms_max=1.5,
                      max_voxel_displacement=2.0)
        lines = study_table.tsv_text([failed, good]).splitlines()
        self.assertEqual(lines[0].split("\t"), study_table.COLUMNS)
        first = dict(zip(study_table.COLUMNS, lines[1].split("\t")))
        self.assertEqual(first["run"], "sub-01/run1")
        self.assertEqual(first["relative_rms_mean"], "1.23457e-05")
        self.assertEqual(first["framewise_displacement_mean"], "n/a")
        self.assertEqual(first["volumes"], "100")
        self.assertEqual(first["max_voxel_displacement"], "2")
        self.assertEqual(first["exclude"], "no")
        second = lines[2].split("\t")
        self.assertEqual(len(second), len(study_table.COLUMNS))
        second = dict(zip(study_table.COLUMNS, second))
        self.assertEqual(second["reason"], "Error: one; Error: two")
        self.assertEqual(second["warnings"], "a b")
        self.assertEqual((second["status"], second["exclude"], second["volumes"]), ("failed", "yes", "n/a"))


class LinkCollector(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.links = []
        self.texts = []

    def handle_starttag(self, tag, attrs):
        self.links += [value for name, value in attrs if name in ("href", "src")]

    def handle_data(self, data):
        self.texts.append(data)


class PageTest(unittest.TestCase):
    def test_texts_from_files_are_escaped_and_links_quoted(self):
        hostile = study_table.RunRow(
            run='sub-<b>&"1/run #1', status="failed", exclude=True,
            reason='Error: <script>alert("x")</script>', inputs={"sdm": "/d/<i>.sdm"},
            files={"report": "report/index.html", "log": "log.txt"},
        )
        good = ok_row(trace=study_table.Trace("relative_rms", [None, 0.1, None, 0.7, 0.2], 0.5, [3]))
        page = study_page.page_html([good, hostile], study_table.Limits(), ["a <note> & more"], "/data/<x>")
        self.assertNotIn("<script>", page)
        self.assertNotIn("<b>", page)
        self.assertNotIn("<note>", page)
        self.assertIn("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;", page)
        collector = LinkCollector()
        collector.feed(page)
        self.assertIn("sub-%3Cb%3E%26%221/run%20%231/report/index.html", collector.links)
        text = "".join(collector.texts)
        self.assertIn('sub-<b>&"1/run #1', text)
        self.assertIn("a <note> & more", text)
        # The failed run comes first, the good one after it.
        self.assertLess(page.index("run #1"), page.index("sub-01/run1"))

    def test_trace_breaks_at_undefined_values_and_marks_flagged_volumes(self):
        trace = study_table.Trace("framewise_displacement", [None, 0.1, 0.2, None, 0.7, 0.2], 0.5, [4])
        svg = study_page.trace_svg(trace)
        self.assertEqual(svg.count("<polyline"), 2)  # volumes 1-2, then 4-5
        self.assertEqual(svg.count("<circle"), 1)
        self.assertEqual(svg.count('stroke-dasharray="4 2"'), 1)
        self.assertIn("framewise displacement per volume, largest 0.7 mm, threshold 0.5 mm, 1 flagged", svg)
        self.assertEqual(study_page.trace_svg(study_table.Trace("relative_rms", [None, None])), "")


if __name__ == "__main__":
    unittest.main()
