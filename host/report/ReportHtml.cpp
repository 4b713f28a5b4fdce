#include "ReportHtml.h"

#include "NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace halvorn_host {
namespace {

// Colours follow the map scale (viridis) so that the page and its pictures look of one piece.
constexpr std::string_view kStyle = R"css(
:root { --ink: #1c2230; --muted: #5d6678; --line: #dfe3ea; --paper: #ffffff; --ground: #f3f5f8;
        --accent: #2a788e; --deep: #440154; --ok: #1f7a4d; --bad: #b42318; }
* { box-sizing: border-box; }
body { margin: 0; background: var(--ground); color: var(--ink);
       font: 15px/1.5 "DejaVu Sans", "Segoe UI", system-ui, sans-serif; }
.wrap { max-width: 1120px; margin: 0 auto; padding: 0 24px; }
header { background: linear-gradient(100deg, #440154 0%, #3b528b 40%, #21918c 75%, #5ec962 100%);
         color: #fff; padding: 26px 0 22px; }
header h1 { margin: 0 0 6px; font-size: 28px; font-weight: 700; letter-spacing: .2px; }
header p { margin: 2px 0; opacity: .93; }
header code { color: #fff; background: rgba(255,255,255,.14); }
.chips { margin-top: 12px; display: flex; flex-wrap: wrap; gap: 8px; }
.chip { display: inline-block; padding: 2px 12px; border-radius: 999px; font-size: 13px;
        background: rgba(255,255,255,.18); border: 1px solid rgba(255,255,255,.35); }
.chip.bad { background: #fde8e6; color: var(--bad); border-color: #f4b4ad; font-weight: 700; }
nav { margin: 18px 0 0; font-size: 14px; color: var(--muted); }
nav a { margin-right: 14px; }
a { color: var(--accent); text-decoration: none; }
a:hover { text-decoration: underline; }
code { font: 13px "DejaVu Sans Mono", Consolas, monospace; background: #eef1f5; padding: 1px 5px;
       border-radius: 4px; }
section.run, section.panel { background: var(--paper); border: 1px solid var(--line);
       border-radius: 12px; margin: 24px 0; padding: 6px 28px 22px;
       box-shadow: 0 1px 3px rgba(20, 30, 50, .05); }
section.run > h2 { margin: 18px 0 2px; font-size: 22px; color: var(--deep); }
.path { margin: 0 0 14px; color: var(--muted); font-size: 13px; word-break: break-all; }
h3 { margin: 26px 0 10px; font-size: 17px; padding-bottom: 4px; border-bottom: 1px solid var(--line); }
.cards { display: grid; grid-template-columns: repeat(auto-fit, minmax(180px, 1fr)); gap: 12px; }
.card { border: 1px solid var(--line); border-radius: 10px; padding: 10px 14px; background: #fafbfc; }
.card b { display: block; font-size: 24px; line-height: 1.2; color: var(--deep); }
.card span { color: var(--muted); font-size: 13px; }
figure { margin: 0 0 16px; }
figure img { max-width: 100%; height: auto; border: 1px solid var(--line); border-radius: 6px;
             background: #fff; display: block; }
figcaption { color: var(--muted); font-size: 13px; margin-top: 4px; }
figcaption b { color: var(--ink); }
.note { color: var(--muted); margin: 6px 0; }
table { border-collapse: collapse; width: 100%; font-size: 14px; }
th, td { text-align: left; padding: 6px 10px; border-bottom: 1px solid var(--line); vertical-align: middle; }
th { font-size: 12px; text-transform: uppercase; letter-spacing: .5px; color: var(--muted);
     background: #f7f8fa; }
td.num, th.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
td.exact { color: var(--muted); font-size: 12px; }
.spikes { max-width: 760px; }
table.files td:first-child { white-space: nowrap; width: 1%; }
.bar { position: relative; width: 220px; height: 12px; background: #eef1f5; border-radius: 6px; }
.bar span { position: absolute; left: 0; top: 0; bottom: 0; border-radius: 6px;
            background: linear-gradient(90deg, #3b528b, #21918c 60%, #fde725); }
.bar i { position: absolute; top: -3px; bottom: -3px; width: 2px; background: var(--bad); }
pre.log { background: #161a22; color: #dfe6ee; border-radius: 8px; padding: 12px 14px;
          font: 12.5px/1.55 "DejaVu Sans Mono", Consolas, monospace; overflow-x: auto; margin: 0; }
pre.log .task { color: #7fb8c8; }
pre.log .box { color: #ffd479; }
pre.log .error { color: #ff8a80; font-weight: 700; }
details { margin: 10px 0; }
summary { cursor: pointer; font-weight: 700; margin: 14px 0 8px; }
footer { color: var(--muted); font-size: 12px; padding: 8px 0 32px; }
)css";

std::string formatFloat(float value, int decimals) {
    return numberText(value, std::chars_format::fixed, decimals);
}

// 13745 -> "13 745": long numbers are easier to read in groups of three.
std::string groupedDigits(std::uintmax_t number) {
    std::string digits = std::to_string(number);
    for (auto i = static_cast<std::ptrdiff_t>(digits.size()) - 3; i > 0; i -= 3) {
        digits.insert(static_cast<std::size_t>(i), "\u2009");
    }
    return digits;
}

std::string plural(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

void appendImage(std::string& html, const PageImage& image) {
    html += "<figure><img src=\"" + escapeHtml(image.href) + "\" alt=\"" +
            escapeHtml(image.caption) + "\"";
    if (image.width > 0 && image.height > 0) {
        html += " width=\"" + std::to_string(image.width) + "\" height=\"" +
                std::to_string(image.height) + "\"";
    }
    html += "><figcaption>" + escapeHtml(image.caption) + "</figcaption></figure>\n";
}

void appendLog(std::string& html, const std::vector<ReportLogEntry>& log) {
    html += "<pre class=\"log\">";
    std::string lastTask = "\x01";
    for (const auto& entry : log) {
        if (entry.task != lastTask) {
            html += "<span class=\"task\">" +
                    escapeHtml(entry.task.empty() ? "-- host and plug-in --"
                                                  : "-- task " + entry.task + " --") +
                    "</span>\n";
            lastTask = entry.task;
        }
        switch (entry.kind) {
        case ReportLogEntry::Kind::Log:
            html += escapeHtml(entry.text);
            break;
        case ReportLogEntry::Kind::MessageBox:
            html += std::string("<span class=\"") +
                    (entry.text.starts_with("Error: ") ? "error" : "box") + "\">[message box] " +
                    escapeHtml(entry.text) + "</span>";
            break;
        case ReportLogEntry::Kind::HostError:
            html += "<span class=\"error\">[host] " + escapeHtml(entry.text) + "</span>";
            break;
        }
        html += '\n';
    }
    if (log.empty()) {
        html += "(nothing was logged)\n";
    }
    html += "</pre>\n";
}

void appendFiles(std::string& html, const std::vector<PageFile>& files) {
    html += "<table class=\"files\"><thead><tr><th>File</th><th>Contents</th>"
            "<th class=\"num\">Size</th><th class=\"num\">Bytes</th></tr></thead><tbody>\n";
    for (const auto& file : files) {
        html += "<tr><td><a href=\"" + escapeHtml(file.href) + "\"><code>" + escapeHtml(file.name) +
                "</code></a></td><td>" + escapeHtml(file.contents) + "</td><td class=\"num\">" +
                readableSize(file.bytes) + "</td><td class=\"num exact\" data-bytes=\"" +
                std::to_string(file.bytes) + "\">" + groupedDigits(file.bytes) + "</td></tr>\n";
    }
    html += "</tbody></table>\n";
}

double numberOr(const std::string& text, double fallback) {
    double value = fallback;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && std::isfinite(value) ? value : fallback;
}

void appendSpikes(std::string& html, const PageRun& run) {
    html += "<h3>Spikes</h3>\n";
    if (!run.spikeSearch) {
        html += "<p class=\"note\">No spike search: the <code>confound</code> task did not run "
                "on this design matrix with <code>create_spikes</code> on.</p>\n";
        return;
    }
    const SpikeSearch& search = *run.spikeSearch;
    if (search.spikes.empty()) {
        html += "<p class=\"note\">No volume moved more than " + escapeHtml(search.threshold) +
                " mm (relative RMS displacement from the previous volume), so no spike file "
                "was written.</p>\n";
        return;
    }
    html += "<p class=\"note\">" + plural(search.spikes.size(), "volume moved", "volumes moved") +
            " more than " + escapeHtml(search.threshold) +
            " mm from the previous volume (relative RMS displacement). Each has a spike "
            "predictor";
    if (run.spikeFileName) {
        html += " in <code>" + escapeHtml(*run.spikeFileName) + "</code>";
    }
    html +=
        ". Volumes count from 0, as in the predictor names; the plots count from 1, so volume " +
        std::to_string(search.spikes.front().volume) + " stands at " +
        std::to_string(search.spikes.front().volume + 1) + " there.</p>\n";

    const double threshold = numberOr(search.threshold, 0.0);
    double scale = std::max(threshold, 0.0);
    for (const auto& spike : search.spikes) {
        scale = std::max(scale, numberOr(spike.displacement, 0.0));
    }
    scale = scale > 0.0 ? scale * 1.05 : 1.0;
    const auto percent = [&](double value) {
        return formatFloat(static_cast<float>(std::clamp(value / scale, 0.0, 1.0) * 100.0), 1);
    };
    html += "<table class=\"spikes\"><thead><tr><th class=\"num\">Volume</th>"
            "<th class=\"num\">Displacement (mm)</th><th class=\"num\">Threshold (mm)</th>"
            "<th>Displacement against threshold</th></tr></thead><tbody>\n";
    for (const auto& spike : search.spikes) {
        html += "<tr><td class=\"num\">" + std::to_string(spike.volume) +
                "</td><td class=\"num\">" + escapeHtml(spike.displacement) +
                "</td><td class=\"num\">" + escapeHtml(search.threshold) +
                "</td><td><div class=\"bar\"><span style=\"width:" +
                percent(numberOr(spike.displacement, 0.0)) +
                "%\"></span><i style=\"left:" + percent(threshold) + "%\"></i></div></td></tr>\n";
    }
    html += "</tbody></table>\n";
}

void appendMaps(std::string& html, const PageRun& run) {
    if (run.maps.empty()) {
        return;
    }
    html += "<h3>Displacement maps</h3>\n<p class=\"note\">Axial slices of each map (z counts "
            "slices from 0; slices without brain voxels at either end are left out). Every voxel "
            "of the brain mask has the colour of its displacement in millimetres, from 0 to the "
            "map's largest value.</p>\n";
    for (const auto& map : run.maps) {
        const std::string caption = "<code>" + escapeHtml(map.fileName) + "</code>: largest " +
                                    millimetreText(map.maximum) + " mm, mean " +
                                    millimetreText(map.meanInMask) + " mm over " +
                                    groupedDigits(map.voxelsInMask) + " brain voxels";
        if (map.picture) {
            html += "<figure><img src=\"" + escapeHtml(map.picture->href) + "\" alt=\"" +
                    escapeHtml(map.heading) + "\" width=\"" + std::to_string(map.picture->width) +
                    "\" height=\"" + std::to_string(map.picture->height) + "\"><figcaption>" +
                    caption + "</figcaption></figure>\n";
        } else {
            html += "<p>" + caption + " (this build of Halvorn.exe draws no pictures)</p>\n";
        }
    }
}

void appendCards(std::string& html, const PageRun& run) {
    html += "<div class=\"cards\">\n";
    const auto card = [&](const std::string& value, const std::string& label) {
        html += "<div class=\"card\"><b>" + value + "</b><span>" + label + "</span></div>\n";
    };
    if (run.volumes) {
        card(std::to_string(*run.volumes), "volumes");
    }
    if (run.spikeSearch) {
        card(std::to_string(run.spikeSearch->spikes.size()),
             "spike volumes above " + escapeHtml(run.spikeSearch->threshold) + " mm");
    }
    if (!run.maps.empty()) {
        const auto largest = std::max_element(
            run.maps.begin(), run.maps.end(),
            [](const PageMap& a, const PageMap& b) { return a.maximum < b.maximum; });
        card(formatFloat(largest->maximum, 2) + " mm", "largest voxel displacement in the maps");
    }
    std::uintmax_t total = 0;
    for (const auto& file : run.files) {
        total += file.bytes;
    }
    card(std::to_string(run.files.size()), "files written, " + readableSize(total));
    html += "</div>\n";
}

void appendRun(std::string& html, const PageRun& run) {
    html += "<section class=\"run\" id=\"" + escapeHtml(run.anchor) + "\">\n<h2>" +
            escapeHtml(run.name) + "</h2>\n<p class=\"path\">" + escapeHtml(run.sdmPath);
    if (!run.tasks.empty()) {
        html += " &middot; tasks:";
        for (const auto& task : run.tasks) {
            html += " <code>" + escapeHtml(task) + "</code>";
        }
    }
    html += "</p>\n";
    appendCards(html, run);
    if (!run.plots.empty()) {
        html += "<h3>Motion</h3>\n";
        for (const auto& plot : run.plots) {
            appendImage(html, plot);
        }
    }
    appendSpikes(html, run);
    appendMaps(html, run);
    html += "<h3>Files written</h3>\n";
    if (run.files.empty()) {
        html += "<p class=\"note\">No files.</p>\n";
    } else {
        appendFiles(html, run.files);
    }
    html += "<h3>Log</h3>\n";
    appendLog(html, run.log);
    html += "</section>\n";
}

void appendHeader(std::string& html, const ReportPage& page) {
    html += "<header><div class=\"wrap\">\n<h1>" +
            escapeHtml(page.pluginName.empty() ? "Plug-in" : page.pluginName) +
            " motion report</h1>\n";
    if (page.fmrPath) {
        html += "<p>Document <code>" + escapeHtml(*page.fmrPath) + "</code>";
        if (page.fmrGeometry) {
            html += ": " + escapeHtml(*page.fmrGeometry);
        }
        html += "</p>\n";
    }
    if (!page.pluginName.empty()) {
        html += "<p>Plug-in " + escapeHtml(page.pluginName) + " " + escapeHtml(page.pluginVersion) +
                ", run by Halvorn.exe</p>\n";
    }
    html += "<div class=\"chips\">";
    for (const auto& task : page.tasks) {
        html += std::string("<span class=\"chip") + (task.errorShown ? " bad" : "") + "\">" +
                escapeHtml(task.task) + (task.errorShown ? ": error" : ": done") + "</span>";
    }
    if (page.tasks.empty()) {
        html += "<span class=\"chip\">no task ran</span>";
    }
    html += "</div>\n</div></header>\n";
}

} // namespace

std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string urlFromRelativePath(std::string_view path) {
    constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string url;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool keep = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                          (byte >= '0' && byte <= '9') || c == '-' || c == '_' || c == '.' ||
                          c == '~' || c == '/';
        if (keep) {
            url += c;
        } else {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 0x0F];
        }
    }
    return url;
}

std::string readableSize(std::uintmax_t bytes) {
    if (bytes < 1000) {
        return std::to_string(bytes) + " B";
    }
    constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1000.0;
    std::size_t unit = 0;
    while (value >= 999.95 && unit + 1 < std::size(kUnits)) {
        value /= 1000.0;
        ++unit;
    }
    return formatFloat(static_cast<float>(value), 1) + " " + kUnits[unit];
}

std::string renderReportHtml(const ReportPage& page) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                       "<title>";
    html += escapeHtml(page.pluginName.empty() ? "Plug-in" : page.pluginName);
    html += " motion report</title>\n<style>";
    html += kStyle;
    html += "</style>\n</head>\n<body>\n";
    appendHeader(html, page);
    html += "<main class=\"wrap\">\n";
    if (page.runs.size() > 1) {
        html += "<nav>Motion design matrices:";
        for (const auto& run : page.runs) {
            html += " <a href=\"#" + escapeHtml(run.anchor) + "\">" + escapeHtml(run.name) + "</a>";
        }
        html += "</nav>\n";
    }
    for (const auto& run : page.runs) {
        appendRun(html, run);
    }
    if (page.runs.empty()) {
        html += "<section class=\"panel\"><h3>No motion design matrix was analysed</h3>"
                "<p class=\"note\">Neither <code>confound</code> nor <code>displacement</code> "
                "handled a motion design matrix in this run; the log below tells why.</p>"
                "</section>\n";
    }
    html += "<section class=\"panel\" id=\"session\">\n<h3>The whole run</h3>\n";
    if (!page.sessionFiles.empty()) {
        appendFiles(html, page.sessionFiles);
    }
    html += "<details open><summary>Complete log and message boxes</summary>\n";
    appendLog(html, page.log);
    html += "</details>\n<details><summary>Parameters the plug-in read (" +
            std::to_string(page.parametersRead.size()) + ")</summary>\n";
    html += "<table><thead><tr><th>Parameter</th><th>Value</th></tr></thead><tbody>\n";
    for (const auto& [name, value] : page.parametersRead) {
        html += "<tr><td><code>" + escapeHtml(name) + "</code></td><td><code>" + escapeHtml(value) +
                "</code></td></tr>\n";
    }
    html += "</tbody></table>\n</details>\n</section>\n</main>\n";
    html += "<footer class=\"wrap\">Written by Halvorn.exe --report. Pictures and links are "
            "relative to this folder; the page loads nothing from the network.</footer>\n";
    html += "</body>\n</html>\n";
    return html;
}

} // namespace halvorn_host
