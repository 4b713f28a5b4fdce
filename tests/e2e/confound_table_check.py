#!/usr/bin/env python3
"""The confound table read back as another analysis package reads it, and every column checked
against values computed here, independently of the plug-in.

Runs the "confound" task through Halvorn.exe on motion files written here, reads the
tab-separated table with Python's csv module and the sidecar with its json module, and checks:

- the raw motion columns (rotations converted to radians) and every family column against a
  single-precision computation written out here step by step (each operation rounded to a
  32-bit float, in the order the help page gives), value for value, and against the SDM files
  of the same run;
- framewise displacement on hand-worked motion (a 1 mm step along each axis and a 1 degree turn
  about each axis), and value for value against the same single-precision sum;
- the relative RMS displacement, for two head radii, against a Monte-Carlo average of the
  displacement over a solid ball and against the ball's closed form;
- the spike columns against spikes and neighbours found here from those series;
- the sidecar: an entry with a description and units for every column, and the parameters.

Usage: confound_table_check.py HALVORN_EXE
"""
import csv
import json
import math
import os
import random
import struct
import subprocess
import sys
import tempfile
import unittest

HALVORN = None

MINIMAL_FMR = (
    "\nFileVersion:          7\n\nNrOfVolumes:          60\nNrOfSlices:           2\n"
    'Prefix:               "run"\nResolutionX:          3\nResolutionY:          3\n'
    "InplaneResolutionX:   2.5\nInplaneResolutionY:   2.5\nSliceThickness:       3\n"
    "SliceGap:             1\n")

MOTION_COLUMNS = ["trans_x", "trans_y", "trans_z", "rot_x", "rot_y", "rot_z"]
MOTION_NAMES = ["Translation X [mm]", "Translation Y [mm]", "Translation Z [mm]",
                "Rotation X [deg]", "Rotation Y [deg]", "Rotation Z [deg]"]
# (table suffix, SDM file suffix), in the order the task saves the families.
FAMILIES = [("_detrended", "_detr"), ("_derivative", "_deriv"), ("_detrended_power2", "_sqr"),
            ("_lag1", "_t1"), ("_lag2", "_t2"), ("_lag1_power2", "_t1sqr"),
            ("_lag2_power2", "_t2sqr")]
ALL_FAMILIES = ["create_detrended=1", "create_derivative=1", "create_squared=1",
                "create_delayed1=1", "create_delayed2=1", "create_delayed1sq=1",
                "create_delayed2sq=1"]


# --- single precision, one rounding per operation ------------------------------------------------

def f32(x):
    """x rounded to the nearest 32-bit float (ties to even), as a C float operation rounds."""
    return struct.unpack("f", struct.pack("f", x))[0]


PI_F = f32(4.0 * f32(math.atan(1.0)))


def radians_f32(degrees):
    return f32(f32(PI_F * degrees) / 180.0)


def detrended(y):
    n = len(y)
    st = sy = sty = stt = 0.0
    for t in range(n):
        st = f32(st + t)
        sy = f32(sy + y[t])
        sty = f32(sty + f32(t * y[t]))
        stt = f32(stt + f32(t * t))
    nf = float(n)
    slope = f32(f32(f32(sty * nf) - f32(sy * st)) / f32(f32(stt * nf) - f32(st * st)))
    intercept = f32(f32(sy - f32(slope * st)) / nf)
    return [f32(y[t] - f32(f32(t * slope) + intercept)) for t in range(n)]


def derivative(x):
    n = len(x)
    return [0.0 if i in (0, n - 1) else f32(f32(x[i + 1] - x[i - 1]) * 0.5) for i in range(n)]


def delayed(x, k):
    return [0.0 if i < k else x[i - k] for i in range(len(x))]


def squared(x):
    return [f32(v * v) for v in x]


def standardised(x):
    n = len(x)
    total = 0.0
    for v in x:
        total = f32(total + v)
    mean = f32(total / n)
    squares = 0.0
    for v in x:
        deviation = f32(v - mean)
        squares = f32(squares + f32(deviation * deviation))
    sd = f32(math.sqrt(f32(squares / (n - 1))))
    divisor = 1.0 if sd < f32(0.0001) else sd
    return [f32(f32(v - mean) / divisor) for v in x]


def families_of(columns):
    """The seven families of each motion column, standardised, keyed by the table suffix."""
    d = [detrended(c) for c in columns]
    t1 = [delayed(c, 1) for c in d]
    t2 = [delayed(c, 2) for c in d]
    raw = {"_detrended": d, "_derivative": [derivative(c) for c in d],
           "_detrended_power2": [squared(c) for c in d], "_lag1": t1, "_lag2": t2,
           "_lag1_power2": [squared(c) for c in t1], "_lag2_power2": [squared(c) for c in t2]}
    return {suffix: [standardised(c) for c in family] for suffix, family in raw.items()}


def framewise_f32(d):
    """Framewise displacement in single precision, in the plug-in's documented order."""
    series = [0.0]
    for i in range(1, len(d[0])):
        total = f32(abs(f32(d[0][i] - d[0][i - 1])))
        total = f32(total + abs(f32(d[1][i] - d[1][i - 1])))
        total = f32(total + abs(f32(d[2][i] - d[2][i - 1])))
        for p in (3, 4, 5):
            change = f32(radians_f32(d[p][i]) - radians_f32(d[p][i - 1]))
            total = f32(total + f32(abs(change) * 50.0))
        series.append(total)
    return series


# --- geometry in double precision ----------------------------------------------------------------

def rotation(alpha, beta, gamma):
    """Rz(gamma) Ry(beta) Rx(alpha), angles in radians: turns about x, then y, then z."""
    ca, sa = math.cos(alpha), math.sin(alpha)
    cb, sb = math.cos(beta), math.sin(beta)
    cg, sg = math.cos(gamma), math.sin(gamma)
    rx = [[1, 0, 0], [0, ca, -sa], [0, sa, ca]]
    ry = [[cb, 0, sb], [0, 1, 0], [-sb, 0, cb]]
    rz = [[cg, -sg, 0], [sg, cg, 0], [0, 0, 1]]

    def product(a, b):
        return [[sum(a[i][k] * b[k][j] for k in range(3)) for j in range(3)] for i in range(3)]
    return product(rz, product(ry, rx))


def rigid(row):
    """A volume's transform p -> Q p + c from its six values (mm, degrees)."""
    q = rotation(*(math.radians(v) for v in row[3:6]))
    return q, [-row[0], -row[1], -row[2]]


def change(row_a, row_b):
    """B, d with T_b(p) - T_a(p) = B p + d."""
    qa, ca = rigid(row_a)
    qb, cb = rigid(row_b)
    return ([[qb[i][j] - qa[i][j] for j in range(3)] for i in range(3)],
            [cb[i] - ca[i] for i in range(3)])


def rms_closed_form(row_a, row_b, radius):
    """The mean of |B p + d|^2 over a solid ball is R^2/5 times the sum of B's squares plus |d|^2."""
    b, d = change(row_a, row_b)
    return math.sqrt(radius * radius / 5.0 * sum(v * v for r in b for v in r)
                     + sum(v * v for v in d))


def ball_points(count, seed):
    """Points spread uniformly in the unit ball (rejection from the cube), always the same."""
    generator = random.Random(seed)
    points = []
    while len(points) < count:
        p = [generator.uniform(-1.0, 1.0) for _ in range(3)]
        if p[0] * p[0] + p[1] * p[1] + p[2] * p[2] <= 1.0:
            points.append(p)
    return points


def rms_monte_carlo(row_a, row_b, radius, points):
    """The RMS of the distance between the two images of points spread over the ball."""
    b, d = change(row_a, row_b)
    total = 0.0
    for p in points:
        x, y, z = p[0] * radius, p[1] * radius, p[2] * radius
        for i in range(3):
            moved = b[i][0] * x + b[i][1] * y + b[i][2] * z + d[i]
            total += moved * moved
    return math.sqrt(total / len(points))


def flagged_volumes(series, threshold, before, after):
    """{volume: spike} for the spikes and their neighbours, the nearer (earlier) spike owning."""
    spikes = [i for i, value in enumerate(series) if value > threshold]
    owners = {}
    for volume in range(len(series)):
        if volume in spikes:
            owners[volume] = volume
            continue
        candidates = [(abs(volume - s), s) for s in spikes
                      if (s > volume and s - volume <= before) or (s < volume and volume - s <= after)]
        if candidates:
            owners[volume] = min(candidates)[1]
    return owners


# --- files -----------------------------------------------------------------------------------------

def sdm_text(columns, names):
    """An SDM as the host writes it. Values are multiples of 1/1024, written out exactly."""
    n = len(columns[0])
    lines = ["", "FileVersion:            1", "", "NrOfPredictors:         %d" % len(columns),
             "NrOfDataPoints:         %d" % n, "IncludesConstant:       0",
             "FirstConfoundPredictor: 1", "",
             "   ".join("%d %d %d" % (40 * p, 255 - 40 * p, 100) for p in range(len(columns))),
             " ".join('"%s"' % name for name in names)]
    for t in range(n):
        lines.append(" ".join("%.10f" % column[t] for column in columns))
    return "\r\n".join(lines) + "\r\n"


def read_table(path):
    with open(path, newline="", encoding="utf-8") as file:
        rows = list(csv.reader(file, delimiter="\t"))
    header, body = rows[0], rows[1:]
    columns = {name: [row[c] for row in body] for c, name in enumerate(header)}
    return header, columns, len(body), [len(row) for row in body]


def read_sdm_values(path):
    """The value columns of an SDM, by its plain layout."""
    with open(path, encoding="ascii") as file:
        lines = [line.strip() for line in file]
    start = next(i for i, line in enumerate(lines) if line.startswith("FirstConfoundPredictor"))
    body = [line for line in lines[start + 1:] if line]
    values = [[float(v) for v in line.split()] for line in body[2:]]
    return [list(column) for column in zip(*values)]


def cell(text):
    """A table cell as the float it stands for, or None for n/a."""
    return None if text == "n/a" else f32(float(text))


class Run:
    """One run of the confound task on the motion `columns` in a folder of its own."""

    def __init__(self, folder, columns, settings, names=MOTION_NAMES):
        os.makedirs(folder)
        self.folder = folder
        self.columns = [[f32(v) for v in column] for column in columns]
        with open(os.path.join(folder, "run.fmr"), "w", encoding="ascii") as file:
            file.write(MINIMAL_FMR)
        with open(os.path.join(folder, "run1_3DMC.sdm"), "w", newline="", encoding="ascii") as f:
            f.write(sdm_text(self.columns, names))
        arguments = [HALVORN, "--document", "run.fmr", "--set", "sdmfile=run1_3DMC.sdm",
                     "--set", "create_table=1"]
        for setting in settings:
            arguments += ["--set", setting]
        arguments.append("confound")
        self.result = subprocess.run(arguments, cwd=folder, capture_output=True, text=True,
                                     check=False)
        stem = os.path.join(folder, "run1_3DMC_desc-confounds_timeseries")
        self.table_path = stem + ".tsv"
        self.sidecar_path = stem + ".json"

    def file(self, name):
        return os.path.join(self.folder, name)


def pulses(volumes, spans):
    """Six columns, each 0 but for 1 (mm or degree) over its span of volumes."""
    return [[1.0 if first <= t <= last else 0.0 for t in range(volumes)] for first, last in spans]


# Each parameter steps up by 1 and back down, symmetric about the middle of the 40 volumes, so
# that its least-squares line is flat: detrending only shifts it, and the steps stay 1 mm and
# 1 degree. One parameter moves at a time.
HAND_VOLUMES = 40
HAND_SPANS = [(5, 34), (8, 31), (11, 28), (14, 25), (16, 23), (18, 21)]
TRANSLATION_STEPS = [5, 8, 11, 29, 32, 35]
ROTATION_STEPS = [14, 16, 18, 22, 24, 26]


def realistic_motion(volumes, seed):
    """Slow drift, noise and four sudden jumps, rounded to multiples of 1/1024."""
    generator = random.Random(seed)
    drift = [generator.uniform(-0.01, 0.01) for _ in range(6)]
    jumps = [(generator.randrange(10, volumes - 10), generator.randrange(6),
              generator.choice([-1, 1]) * generator.uniform(0.6, 1.5)) for _ in range(4)]
    columns = []
    for p in range(6):
        level = 0.0
        column = []
        for t in range(volumes):
            level += drift[p] + generator.gauss(0.0, 0.02)
            level += sum(size for volume, column_index, size in jumps
                         if volume == t and column_index == p)
            column.append(round(level * 1024) / 1024)
        columns.append(column)
    return columns


class ConfoundTable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory(prefix="quelmar-table-")
        cls.points = ball_points(20000, seed=16)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def run_task(self, name, columns, settings, names=MOTION_NAMES):
        run = Run(os.path.join(self.work.name, name), columns, settings, names)
        self.assertEqual(run.result.returncode, 0, run.result.stderr)
        self.assertNotIn("Error", run.result.stderr)
        return run

    # -- checks shared by every run --------------------------------------------------------------

    def check_layout(self, run, volumes):
        header, columns, rows, widths = read_table(run.table_path)
        self.assertEqual(rows, volumes)
        self.assertEqual(set(widths), {len(header)})
        with open(run.table_path, "rb") as file:
            raw = file.read()
        self.assertNotIn(b"\r", raw, "lines end in LF alone")
        self.assertTrue(raw.endswith(b"\n"))
        return header, columns

    def check_sidecar(self, run, header, parameters):
        with open(run.sidecar_path, encoding="utf-8") as file:
            sidecar = json.load(file)
        self.assertEqual(list(sidecar), header + ["Sources", "ColumnNames", "Parameters",
                                                  "GeneratedBy"])
        for name in header:
            self.assertTrue(sidecar[name]["Description"], name)
            self.assertTrue(sidecar[name]["Units"], name)
        self.assertIn("detrended", sidecar["framewise_displacement"]["Description"])
        self.assertIn("detrended", sidecar["relative_rms"]["Description"])
        self.assertEqual(sidecar["Sources"], ["run1_3DMC.sdm"])
        self.assertEqual(sidecar["Parameters"], parameters)
        self.assertEqual(sidecar["GeneratedBy"][0]["Name"], "Quelmar")
        return sidecar

    def check_motion(self, run, columns):
        for p, name in enumerate(MOTION_COLUMNS):
            expected = [radians_f32(v) if p >= 3 else v for v in run.columns[p]]
            self.assertEqual([cell(v) for v in columns[name]], expected, name)

    def check_families(self, run, header, columns, suffixes):
        computed = families_of(run.columns)
        expected_header = MOTION_COLUMNS + ["relative_rms", "framewise_displacement"]
        for suffix, sdm_suffix in FAMILIES:
            if suffix not in suffixes:
                continue
            saved = read_sdm_values(run.file("run1_3DMC" + sdm_suffix + ".sdm"))
            for p, parameter in enumerate(MOTION_COLUMNS):
                name = parameter + suffix
                expected_header.append(name)
                table = [cell(v) for v in columns[name]]
                self.assertEqual(table, computed[suffix][p], name)
                for value, in_sdm in zip(table, saved[p]):
                    self.assertLessEqual(abs(value - in_sdm), 5.1e-7, name)
        return expected_header

    def check_displacements(self, run, columns, radius):
        """relative_rms against the ball's closed form; framewise displacement value for value."""
        d = [detrended(c) for c in run.columns]
        rows = list(zip(*d))
        rms = [cell(v) for v in columns["relative_rms"]]
        fd = [cell(v) for v in columns["framewise_displacement"]]
        self.assertIsNone(rms[0])
        self.assertIsNone(fd[0])
        expected_rms = [0.0] + [rms_closed_form(rows[i - 1], rows[i], radius)
                                for i in range(1, len(rows))]
        for i in range(1, len(rows)):
            self.assertAlmostEqual(rms[i], expected_rms[i], delta=2e-5 + 2e-5 * expected_rms[i],
                                   msg="relative_rms of volume %d" % i)
        self.assertEqual(fd[1:], framewise_f32(d)[1:])
        return rows, expected_rms, [0.0] + fd[1:]

    def check_outliers(self, run, header, columns, series, threshold, before, after, sidecar):
        for value in series:
            self.assertGreater(abs(value - threshold), 1e-3, "a value too near the threshold")
        owners = flagged_volumes(series, threshold, before, after)
        names = ["motion_outlier%02d" % k for k in range(len(owners))]
        self.assertEqual([h for h in header if h.startswith("motion_outlier")], names)
        spikes = read_sdm_values(run.file("run1_3DMC_spikes.sdm")) if owners else []
        for k, volume in enumerate(sorted(owners)):
            expected = [1.0 if t == volume else 0.0 for t in range(len(series))]
            self.assertEqual([cell(v) for v in columns[names[k]]], expected, names[k])
            self.assertEqual(spikes[k], expected, names[k])
            self.assertEqual(sidecar[names[k]]["Volume"], volume)
            self.assertEqual(sidecar[names[k]]["Spike"], owners[volume])
        return owners

    # -- the runs --------------------------------------------------------------------------------

    def test_hand_worked_motion_with_the_default_radius_and_neighbours(self):
        columns = pulses(HAND_VOLUMES, HAND_SPANS)
        run = self.run_task("hand65", columns, ["spike_threshold=0.8", "create_spikes=1",
                                                "spikes_before=1", "spikes_after=2"] + ALL_FAMILIES)
        header, table = self.check_layout(run, HAND_VOLUMES)
        self.check_motion(run, table)
        expected_header = self.check_families(run, header, table, [s for s, _ in FAMILIES])
        rows, rms, fd = self.check_displacements(run, table, 65.0)

        # By hand: a 1 mm step moves every point 1 mm; a 1 degree turn moves the 65 mm ball
        # sqrt(4/5 R^2 (1 - cos 1 degree)) = 0.7175 mm on average, and its framewise displacement
        # is the arc of 1 degree on 50 mm, 0.8727 mm. Nothing else moves.
        one_degree_arc = 50.0 * math.pi / 180.0
        turn = math.sqrt(0.8 * 65.0 ** 2 * (1.0 - math.cos(math.radians(1.0))))
        self.assertAlmostEqual(turn, 0.7175, delta=1e-4)
        for i in range(1, HAND_VOLUMES):
            if i in TRANSLATION_STEPS:
                self.assertAlmostEqual(fd[i], 1.0, delta=1e-6, msg="volume %d" % i)
                self.assertAlmostEqual(rms[i], 1.0, delta=1e-5, msg="volume %d" % i)
            elif i in ROTATION_STEPS:
                self.assertAlmostEqual(fd[i], one_degree_arc, delta=1e-6, msg="volume %d" % i)
                self.assertAlmostEqual(rms[i], turn, delta=1e-5, msg="volume %d" % i)
            else:
                self.assertLess(fd[i], 1e-6, "volume %d" % i)
                self.assertLess(rms[i], 1e-5, "volume %d" % i)
        table_rms = [cell(v) for v in table["relative_rms"]]
        for i in TRANSLATION_STEPS + ROTATION_STEPS:
            sampled = rms_monte_carlo(rows[i - 1], rows[i], 65.0, self.points)
            self.assertAlmostEqual(table_rms[i], sampled, delta=0.015 * sampled,
                                   msg="volume %d against the Monte-Carlo average" % i)

        # Spikes are the six 1 mm steps (above 0.8 mm); the turns (0.72 mm) are not. A volume
        # between two spikes belongs to the nearer one.
        sidecar = self.check_sidecar(run, header, {
            "create_spikes": 1, "spike_threshold": 0.8, "spike_measure": 0, "head_radius": 65.0,
            "spikes_before": 1, "spikes_after": 2})
        owners = self.check_outliers(run, header, table, rms, 0.8, 1, 2, sidecar)
        self.assertEqual(sorted(v for v, s in owners.items() if v == s), TRANSLATION_STEPS)
        self.assertEqual(owners[7], 8)
        self.assertEqual(owners[6], 5)
        self.assertEqual(header, expected_header + ["motion_outlier%02d" % k
                                                    for k in range(len(owners))])

    def test_hand_worked_motion_with_a_smaller_head_and_framewise_spikes(self):
        columns = pulses(HAND_VOLUMES, HAND_SPANS)
        run = self.run_task("hand40", columns, ["spike_threshold=0.8", "create_spikes=1",
                                                "spike_measure=1", "head_radius=40",
                                                "create_delayed1=1"])
        header, table = self.check_layout(run, HAND_VOLUMES)
        self.check_motion(run, table)
        expected_header = self.check_families(run, header, table, ["_lag1"])
        rows, rms, fd = self.check_displacements(run, table, 40.0)

        turn = math.sqrt(0.8 * 40.0 ** 2 * (1.0 - math.cos(math.radians(1.0))))
        table_rms = [cell(v) for v in table["relative_rms"]]
        for i in TRANSLATION_STEPS:
            self.assertAlmostEqual(table_rms[i], 1.0, delta=1e-5, msg="volume %d" % i)
        for i in ROTATION_STEPS:
            self.assertAlmostEqual(table_rms[i], turn, delta=1e-5, msg="volume %d" % i)
            sampled = rms_monte_carlo(rows[i - 1], rows[i], 40.0, self.points)
            self.assertAlmostEqual(table_rms[i], sampled, delta=0.015 * sampled,
                                   msg="volume %d against the Monte-Carlo average" % i)

        # Framewise displacement counts a 1 degree turn as 0.87 mm: all twelve steps are spikes.
        sidecar = self.check_sidecar(run, header, {
            "create_spikes": 1, "spike_threshold": 0.8, "spike_measure": 1, "head_radius": 40.0,
            "spikes_before": 0, "spikes_after": 0})
        owners = self.check_outliers(run, header, table, fd, 0.8, 0, 0, sidecar)
        self.assertEqual(sorted(owners), sorted(TRANSLATION_STEPS + ROTATION_STEPS))
        self.assertEqual(header, expected_header + ["motion_outlier%02d" % k for k in range(12)])

    def test_realistic_motion_for_two_radii(self):
        columns = realistic_motion(150, seed=3)
        for radius in (65.0, 50.0):
            run = self.run_task("realistic%d" % radius, columns, [
                "spike_threshold=0.5", "create_spikes=1", "spikes_after=1",
                "head_radius=%g" % radius] + ALL_FAMILIES)
            header, table = self.check_layout(run, 150)
            self.check_motion(run, table)
            expected_header = self.check_families(run, header, table, [s for s, _ in FAMILIES])
            rows, rms, _ = self.check_displacements(run, table, radius)
            table_rms = [cell(v) for v in table["relative_rms"]]
            largest = sorted(range(1, 150), key=lambda i: -rms[i])[:6]
            for i in largest:
                sampled = rms_monte_carlo(rows[i - 1], rows[i], radius, self.points)
                self.assertAlmostEqual(table_rms[i], sampled, delta=0.015 * sampled,
                                       msg="volume %d against the Monte-Carlo average" % i)
            sidecar = self.check_sidecar(run, header, {
                "create_spikes": 1, "spike_threshold": 0.5, "spike_measure": 0,
                "head_radius": radius, "spikes_before": 0, "spikes_after": 1})
            owners = self.check_outliers(run, header, table, rms, 0.5, 0, 1, sidecar)
            self.assertGreaterEqual(len([v for v, s in owners.items() if v == s]), 2)
            self.assertEqual(header, expected_header + ["motion_outlier%02d" % k
                                                        for k in range(len(owners))])

    def test_a_motion_file_with_a_seventh_predictor(self):
        columns = realistic_motion(30, seed=5) + [[100.0 + t / 2 for t in range(30)]]
        run = self.run_task("extra", columns, ["create_detrended=1"],
                            names=MOTION_NAMES + ["Global signal"])
        header, table = self.check_layout(run, 30)
        self.assertEqual(header[:9], MOTION_COLUMNS + ["extra_1", "relative_rms",
                                                       "framewise_displacement"])
        self.assertEqual([cell(v) for v in table["extra_1"]], run.columns[6])
        self.assertEqual([cell(v) for v in table["extra_1_detrended"]],
                         standardised(detrended(run.columns[6])))


def main():
    global HALVORN
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    HALVORN = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)


if __name__ == "__main__":
    main()
