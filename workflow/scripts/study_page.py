"""The study page, index.html in the output folder: every run in one table, the worst first, with
a small trace of its displacement and links to its report and files. The page is one file with
its style and pictures (inline SVG) inside, so it opens from the folder without network; every
text taken from a file is HTML-escaped and every link is relative.
"""

import html
import urllib.parse

from study_table import format_number, severity

# Okabe-Ito colours, told apart with every common colour-vision deficiency.
BLUE = "#0072B2"
VERMILLION = "#D55E00"
GREY = "#999999"

TRACE_WIDTH = 240
TRACE_HEIGHT = 48

STYLE = """
body { font-family: "DejaVu Sans", Arial, sans-serif; margin: 1.5em; color: #222; }
h1 { font-size: 1.4em; margin-bottom: 0.3em; }
p { max-width: 60em; }
table { border-collapse: collapse; font-size: 0.9em; }
th, td { border: 1px solid #ccc; padding: 0.3em 0.5em; vertical-align: top; }
th { background: #eee; text-align: left; }
td.number { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
td.run { white-space: nowrap; }
tr.excluded td { background: #fbe3d4; }
tr.failed td { background: #f4d4dc; }
.mark { display: inline-block; padding: 0 0.4em; border-radius: 0.3em; color: #fff;
        font-weight: bold; font-size: 0.85em; }
.mark.excluded { background: #a33f00; }
.mark.failed { background: #8b1a3a; }
.mark.ok { background: #2f6f4f; }
.reason { white-space: pre-wrap; }
.warning { color: #6b4b00; }
ul.notes { font-size: 0.9em; }
svg.trace { display: block; }
"""


def escape(text):
    return html.escape(str(text), quote=True)


def href(run, path):
    """A relative link from the output folder to a file of a run, each path segment quoted."""
    return escape(urllib.parse.quote(f"{run}/{path}", safe="/"))


def trace_svg(trace):
    """The series of `trace` per volume as a small inline SVG, with its threshold as a dashed
    line and the flagged volumes as dots."""
    values = trace.values
    defined = [value for value in values if value is not None]
    if len(values) < 2 or not defined:
        return ""
    top = max(defined)
    if trace.threshold is not None and trace.threshold > 0:
        top = max(top, trace.threshold * 1.25)
    top = top if top > 0 else 1.0
    left, right, upper, lower = 2.0, TRACE_WIDTH - 2.0, 12.0, TRACE_HEIGHT - 2.0

    def x(index):
        return left + (right - left) * index / (len(values) - 1)

    def y(value):
        return lower - (lower - upper) * value / top

    parts = []
    segment = []
    for index, value in enumerate(values + [None]):
        if value is None:
            if len(segment) > 1:
                parts.append(
                    f'<polyline fill="none" stroke="{BLUE}" stroke-width="1" points="'
                    + " ".join(segment)
                    + '"/>'
                )
            segment = []
        else:
            segment.append(f"{x(index):.1f},{y(value):.1f}")
    if trace.threshold is not None:
        parts.append(
            f'<line x1="{left}" x2="{right}" y1="{y(trace.threshold):.1f}" '
            f'y2="{y(trace.threshold):.1f}" stroke="{VERMILLION}" stroke-width="1" '
            'stroke-dasharray="4 2"/>'
        )
    for index in trace.flagged:
        value = values[index] if index < len(values) and values[index] is not None else top
        parts.append(f'<circle cx="{x(index):.1f}" cy="{y(value):.1f}" r="2" fill="{VERMILLION}"/>')
    label = "relative RMS" if trace.name == "relative_rms" else "framewise displacement"
    description = (
        f"{label} per volume, largest {format_number(max(defined), 3)} mm"
        + (
            f", threshold {format_number(trace.threshold)} mm"
            if trace.threshold is not None
            else ""
        )
        + f", {len(trace.flagged)} flagged"
    )
    return (
        f'<svg class="trace" xmlns="http://www.w3.org/2000/svg" width="{TRACE_WIDTH}" '
        f'height="{TRACE_HEIGHT}" viewBox="0 0 {TRACE_WIDTH} {TRACE_HEIGHT}" role="img" '
        f'aria-label="{escape(description)}"><title>{escape(description)}</title>'
        f'<rect x="0" y="0" width="{TRACE_WIDTH}" height="{TRACE_HEIGHT}" fill="#fafafa" '
        'stroke="#ddd"/>'
        f'<text x="3" y="9" font-size="8" fill="#555">{escape(label)}, up to '
        f"{escape(format_number(top, 3))} mm</text>" + "".join(parts) + "</svg>"
    )


def number_cell(value, digits=4):
    return f'<td class="number">{escape(format_number(value, digits))}</td>'


def files_cell(row):
    labels = [
        ("report", "report"),
        ("table", "confound table"),
        ("log", "log"),
        ("messages", "messages"),
        ("transcript", "transcript"),
    ]
    links = [
        f'<a href="{href(row.run, row.files[key])}">{escape(label)}</a>'
        for key, label in labels
        if key in row.files
    ]
    return '<td class="files">' + " · ".join(links) + "</td>"


def row_html(row):
    if row.status != "ok":
        state, mark = "failed", '<span class="mark failed">failed</span>'
    elif row.exclude:
        state, mark = "excluded", '<span class="mark excluded">exclude</span>'
    else:
        state, mark = "ok", '<span class="mark ok">ok</span>'
    anchor = escape("run-" + row.run)
    name = escape(row.run)
    if "report" in row.files:
        name = f'<a href="{href(row.run, row.files["report"])}">{name}</a>'
    cells = [f'<td class="run">{name}</td>', f"<td>{mark}</td>"]
    warnings = "".join(f'<div class="warning">{escape(text)}</div>' for text in row.warnings)
    if row.status != "ok":
        cells.append(
            f'<td colspan="8" class="reason">{escape(row.reason)}'
            + (f'<div class="warning">motion SDM: {escape(row.inputs.get("sdm", ""))}</div>'
               if row.inputs.get("sdm") else "")
            + warnings
            + "</td>"
        )
    else:
        flagged = (
            f"{format_number(row.flagged_volumes)} ({format_number(row.flagged_percent, 3)}%)"
            if row.flagged_volumes is not None
            else "n/a"
        )
        cells += [
            number_cell(row.volumes),
            f'<td class="number">{escape(format_number(row.relative_rms_mean, 3))} / '
            f"{escape(format_number(row.relative_rms_max, 3))}</td>",
            f'<td class="number">{escape(format_number(row.framewise_displacement_mean, 3))} / '
            f"{escape(format_number(row.framewise_displacement_max, 3))}</td>",
            f'<td class="number">{escape(flagged)}</td>',
            number_cell(row.max_voxel_displacement, 3),
            number_cell(row.voxel_size),
            number_cell(row.limit_ratio, 3),
            f'<td><span class="reason">{escape(row.reason)}</span>{warnings}</td>',
        ]
    cells.append("<td>" + (trace_svg(row.trace) if row.trace else "") + "</td>")
    cells.append(files_cell(row))
    return f'<tr class="{state}" id="{anchor}">' + "".join(cells) + "</tr>\n"


def limits_text(limits):
    parts = []
    if limits.max_flagged_percent is not None:
        parts.append(
            f"more than {format_number(limits.max_flagged_percent)}% of its volumes flagged"
        )
    if limits.max_fd_voxels is not None:
        times = "" if limits.max_fd_voxels == 1 else f"{format_number(limits.max_fd_voxels)} times "
        parts.append(f"a largest framewise displacement above {times}its smallest voxel edge")
    return " or ".join(parts) if parts else "no limits are set"


def page_html(rows, limits, notes, data_folder):
    rows = sorted(rows, key=severity)
    failed = sum(1 for row in rows if row.status != "ok")
    excluded = sum(1 for row in rows if row.status == "ok" and row.exclude)
    usable = len(rows) - failed - excluded
    out = [
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n",
        f"<title>Head motion of {len(rows)} runs</title>\n<style>{STYLE}</style>\n",
        "</head>\n<body>\n",
        f"<h1>Head motion of {len(rows)} run{'s' if len(rows) != 1 else ''}</h1>\n",
        f'<p id="summary">{usable} usable, {excluded} to exclude, {failed} failed. '
        f"Data folder: {escape(data_folder)}.</p>\n",
        f"<p>A run is marked for exclusion with {escape(limits_text(limits))}. "
        "The table lists failed runs first, then the others by <em>of limit</em>: of the measures "
        "with a limit (flagged volumes, largest framewise displacement), the one nearest to its "
        "limit, as a fraction of it (above 1 is excluded). Displacements are in millimetres; "
        "flagged volumes are the spike volumes of the confound task. Each trace shows the "
        "series spike detection used per volume, its threshold (dashed) and the flagged "
        "volumes (dots).</p>\n",
        '<table id="runs">\n<thead><tr><th>run</th><th>status</th><th>volumes</th>'
        "<th>relative RMS mean / max (mm)</th><th>framewise displacement mean / max (mm)</th>"
        "<th>flagged volumes</th><th>largest voxel displacement (mm)</th><th>voxel size (mm)</th>"
        "<th>of limit</th><th>reason</th><th>trace</th><th>files</th></tr></thead>\n<tbody>\n",
    ]
    out += [row_html(row) for row in rows]
    out.append("</tbody>\n</table>\n")
    if notes:
        out.append("<h2>Passed over</h2>\n<ul class=\"notes\">\n")
        out += [f"<li>{escape(note)}</li>\n" for note in notes]
        out.append("</ul>\n")
    out.append(
        "<p>The same numbers, one line per run: <a href=\"study.tsv\">study.tsv</a>.</p>\n"
        "</body>\n</html>\n"
    )
    return "".join(out)
