#include "ReportHtml.h"

#include "NumberText.h"
#include "ReportPageTemplate.h"
#include "ReportQcSection.h"

#include <kainjow/mustache.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>

namespace halvorn_host {
namespace {

using Data = kainjow::mustache::data;
using List = kainjow::mustache::list;

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

double numberOr(const std::string& text, double fallback) {
    double value = fallback;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && std::isfinite(value) ? value : fallback;
}

Data imageData(const PageImage& image) {
    Data data;
    data.set("href", image.href);
    data.set("caption", image.caption);
    data.set("sized", image.width > 0 && image.height > 0);
    data.set("width", std::to_string(image.width));
    data.set("height", std::to_string(image.height));
    return data;
}

// One line of a log, with the task it belongs to as a heading where the task changes.
List logData(const std::vector<ReportLogEntry>& log) {
    List lines;
    std::string lastTask = "\x01";
    for (const auto& entry : log) {
        Data line;
        if (entry.task != lastTask) {
            line.set("heading", entry.task.empty() ? "-- host and plug-in --"
                                                   : "-- task " + entry.task + " --");
            lastTask = entry.task;
        } else {
            line.set("heading", false);
        }
        line.set("text", entry.text);
        switch (entry.kind) {
        case ReportLogEntry::Kind::Log:
            line.set("plain", true);
            line.set("span", false);
            break;
        case ReportLogEntry::Kind::MessageBox:
            line.set("plain", false);
            line.set("span", entry.text.starts_with("Error: ") ? "error" : "box");
            line.set("label", "[message box] ");
            break;
        case ReportLogEntry::Kind::HostError:
            line.set("plain", false);
            line.set("span", "error");
            line.set("label", "[host] ");
            break;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

List filesData(const std::vector<PageFile>& files) {
    List rows;
    for (const auto& file : files) {
        Data row;
        row.set("href", file.href);
        row.set("name", file.name);
        row.set("contents", file.contents);
        row.set("size", readableSize(file.bytes));
        row.set("bytes", std::to_string(file.bytes));
        row.set("groupedBytes", groupedDigits(file.bytes));
        rows.push_back(std::move(row));
    }
    return rows;
}

// Each spike with a bar of its displacement against the threshold, on a scale a little above
// the largest of them.
Data spikeTableData(const PageRun& run) {
    const SpikeSearch& search = *run.spikeSearch;
    Data table;
    table.set("flagged", plural(search.spikes.size(), "volume is", "volumes are"));
    table.set("threshold", search.threshold);
    table.set("measure", std::string(spikeMeasureName(search.measure)));
    if (run.spikeFileName) {
        table.set("spikeFile", *run.spikeFileName);
    } else {
        table.set("spikeFile", false);
    }
    table.set("firstVolume", std::to_string(search.spikes.front().volume));
    table.set("firstVolumeFromOne", std::to_string(search.spikes.front().volume + 1));

    const double threshold = numberOr(search.threshold, 0.0);
    double scale = std::max(threshold, 0.0);
    for (const auto& spike : search.spikes) {
        scale = std::max(scale, numberOr(spike.displacement, 0.0));
    }
    scale = scale > 0.0 ? scale * 1.05 : 1.0;
    const auto percent = [&](double value) {
        return formatFloat(static_cast<float>(std::clamp(value / scale, 0.0, 1.0) * 100.0), 1);
    };
    List rows;
    for (const auto& spike : search.spikes) {
        Data row;
        row.set("volume", std::to_string(spike.volume));
        row.set("displacement", spike.displacement);
        row.set("barWidth", percent(numberOr(spike.displacement, 0.0)));
        row.set("thresholdAt", percent(threshold));
        rows.push_back(std::move(row));
    }
    table.set("rows", rows);
    return table;
}

List cardsData(const PageRun& run) {
    List cards;
    const auto card = [&](const std::string& value, const std::string& label) {
        Data data;
        data.set("value", value);
        data.set("label", label);
        cards.push_back(std::move(data));
    };
    if (run.volumes) {
        card(std::to_string(*run.volumes), "volumes");
    }
    if (run.spikeSearch) {
        card(std::to_string(run.spikeSearch->spikes.size()),
             "spike volumes above " + run.spikeSearch->threshold + " mm");
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
    return cards;
}

List mapsData(const std::vector<PageMap>& maps) {
    List list;
    for (const auto& map : maps) {
        Data data;
        data.set("heading", map.heading);
        data.set("fileName", map.fileName);
        data.set("largest", millimetreText(map.maximum));
        data.set("mean", millimetreText(map.meanInMask));
        data.set("voxels", groupedDigits(map.voxelsInMask));
        if (map.picture) {
            data.set("picture", imageData(*map.picture));
        } else {
            data.set("picture", false);
        }
        list.push_back(std::move(data));
    }
    return list;
}

Data motionQcData(const PageMotionQc& qc) {
    Data data;
    data.set("tableName", qc.tableName);
    data.set("volumes", std::to_string(qc.volumes));
    data.set("threshold", qc.threshold ? Data(*qc.threshold) : Data(false));
    data.set("thresholdMeasure", qc.thresholdMeasure);
    List summaries;
    for (const auto& summary : qc.summaries) {
        Data row;
        row.set("name", summary.name);
        row.set("column", summary.column);
        row.set("mean", summary.mean);
        row.set("median", summary.median);
        row.set("maximum", summary.maximum);
        summaries.push_back(std::move(row));
    }
    data.set("summaries", summaries);
    data.set("flaggedCount", std::to_string(qc.flaggedVolumes.size()));
    data.set("flaggedPercent", qc.flaggedPercent);
    data.set("hasFlagged", !qc.flaggedVolumes.empty());
    std::string list;
    for (const std::size_t volume : qc.flaggedVolumes) {
        list += (list.empty() ? "" : ", ") + std::to_string(volume);
    }
    data.set("flaggedList", list);
    List panels;
    for (const auto& panel : qc.panels) {
        panels.push_back(imageData(panel));
    }
    data.set("panels", panels);
    return data;
}

Data mapScaleData(const PageMapScale& scale) {
    Data data;
    data.set("maximum", scale.maximum);
    List ticks;
    for (const auto& tick : scale.ticks) {
        Data entry;
        entry.set("label", tick.label);
        entry.set("percent", tick.percent);
        ticks.push_back(std::move(entry));
    }
    data.set("ticks", ticks);
    return data;
}

// Every message box and host error of the run, for the banner at the top of the page: a user
// should not have to open the log to learn that the plug-in warned about something.
Data warningsData(const std::vector<ReportLogEntry>& log, Data data) {
    List warnings;
    bool errors = false;
    for (const auto& entry : log) {
        if (entry.kind == ReportLogEntry::Kind::Log) {
            continue;
        }
        const bool error =
            entry.kind == ReportLogEntry::Kind::HostError || entry.text.starts_with("Error: ");
        errors = errors || error;
        Data warning;
        warning.set("kind", error ? "error" : "warning");
        warning.set("task", entry.task.empty() ? Data(false) : Data(entry.task));
        warning.set("text", entry.kind == ReportLogEntry::Kind::HostError
                                ? "Halvorn.exe: " + entry.text
                                : entry.text);
        warnings.push_back(std::move(warning));
    }
    data.set("hasWarnings", !warnings.empty());
    data.set("hasErrors", errors);
    data.set("warningCount", plural(warnings.size(), "message", "messages") +
                                 (errors ? ", errors among them" : ""));
    data.set("warnings", warnings);
    return data;
}

Data runData(const PageRun& run) {
    Data data;
    data.set("anchor", run.anchor);
    data.set("name", run.name);
    data.set("sdmPath", run.sdmPath);
    data.set("hasTasks", !run.tasks.empty());
    List tasks;
    for (const auto& task : run.tasks) {
        tasks.push_back(task);
    }
    data.set("runTasks", tasks);
    data.set("cards", cardsData(run));
    data.set("hasPlots", !run.plots.empty());
    List plots;
    for (const auto& plot : run.plots) {
        plots.push_back(imageData(plot));
    }
    data.set("plots", plots);
    data.set("noSpikeSearch", !run.spikeSearch && !run.noConfoundTable);
    data.set("noConfoundTable", run.noConfoundTable);
    data.set("noSpikes", run.spikeSearch && run.spikeSearch->spikes.empty());
    if (run.spikeSearch) {
        data.set("threshold", run.spikeSearch->threshold);
        data.set("measure", std::string(spikeMeasureName(run.spikeSearch->measure)));
    }
    if (run.spikeSearch && !run.spikeSearch->spikes.empty()) {
        data.set("spikeTable", spikeTableData(run));
    } else {
        data.set("spikeTable", false);
    }
    data.set("motionQc", run.motionQc ? motionQcData(*run.motionQc) : Data(false));
    data.set("motionQcProblem", run.motionQcProblem ? Data(*run.motionQcProblem) : Data(false));
    data.set("mapScale", run.mapScale ? mapScaleData(*run.mapScale) : Data(false));
    data.set("hasMaps", !run.maps.empty());
    data.set("maps", mapsData(run.maps));
    data.set("hasFiles", !run.files.empty());
    data.set("noFiles", run.files.empty());
    data.set("files", filesData(run.files));
    data.set("log", logData(run.log));
    std::string sharedLogTasks;
    for (const auto& task : run.sharedLogTasks) {
        sharedLogTasks += (sharedLogTasks.empty() ? "the " : " and the ") + task;
    }
    data.set("sharedLogTasks",
             sharedLogTasks.empty()
                 ? Data(false)
                 : Data(sharedLogTasks + " task" + (run.sharedLogTasks.size() > 1 ? "s" : "")));
    return data;
}

Data pageData(const ReportPage& page) {
    Data data;
    data.set("title", page.pluginName.empty() ? "Plug-in" : page.pluginName);
    data.set("fmrPath", page.fmrPath ? Data(*page.fmrPath) : Data(false));
    data.set("fmrGeometry", page.fmrGeometry ? Data(*page.fmrGeometry) : Data(false));
    data.set("pluginName", page.pluginName.empty() ? Data(false) : Data(page.pluginName));
    data.set("pluginVersion", page.pluginVersion);
    List chips;
    for (const auto& task : page.tasks) {
        Data chip;
        chip.set("task", task.task);
        chip.set("error", task.errorShown);
        chip.set("outcome", task.errorShown ? "error" : "done");
        chips.push_back(std::move(chip));
    }
    data.set("taskChips", chips);
    data = warningsData(page.log, std::move(data));
    data.set("showNav", page.runs.size() > 1);
    List runs;
    for (const auto& run : page.runs) {
        runs.push_back(runData(run));
    }
    data.set("runs", runs);
    data.set("hasSessionPlots", !page.sessionPlots.empty());
    List sessionPlots;
    for (const auto& plot : page.sessionPlots) {
        sessionPlots.push_back(imageData(plot));
    }
    data.set("sessionPlots", sessionPlots);
    data.set("hasSessionFiles", !page.sessionFiles.empty());
    data.set("sessionFiles", filesData(page.sessionFiles));
    data.set("log", logData(page.log));
    data.set("parameterCount", std::to_string(page.parametersRead.size()));
    List parameters;
    for (const auto& [name, value] : page.parametersRead) {
        Data parameter;
        parameter.set("name", name);
        parameter.set("value", value);
        parameters.push_back(std::move(parameter));
    }
    data.set("parameters", parameters);
    return data;
}

} // namespace

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
    kainjow::mustache::mustache pageTemplate{std::string(kReportPageTemplate)};
    if (!pageTemplate.is_valid()) {
        // The template is compiled in; a fault in it is a fault of this build.
        throw std::logic_error("the report page template is broken: " +
                               pageTemplate.error_message());
    }
    return pageTemplate.render(pageData(page));
}

} // namespace halvorn_host
