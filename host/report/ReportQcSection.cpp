#include "ReportQcSection.h"

#include "NumberText.h"
#include "ReportMotionQc.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace halvorn_host {
namespace {

struct SeriesColumn {
    std::string_view column;
    std::string_view name;
};

constexpr SeriesColumn kRelativeRms{"relative_rms", "relative RMS displacement"};
constexpr SeriesColumn kFramewise{"framewise_displacement", "framewise displacement"};

std::optional<double> thresholdOf(const std::optional<SpikeSearch>& search) {
    if (!search) {
        return std::nullopt;
    }
    double value = 0.0;
    const std::string& text = search->threshold;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != text.data() + text.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// spike_measure 1 compares the framewise displacement, anything else the relative RMS one.
const SeriesColumn& thresholdSeries(const std::optional<SpikeSearch>& search) {
    return search && search->measure == "1" ? kFramewise : kRelativeRms;
}

std::string percentText(double percent) {
    return numberText(percent, std::chars_format::fixed, 1);
}

} // namespace

PageMotionQc motionQcSection(const ConfoundSeries& table, const std::string& tableName,
                             const std::optional<SpikeSearch>& spikeSearch) {
    PageMotionQc qc;
    qc.tableName = tableName;
    qc.volumes = table.volumes();
    for (const SeriesColumn& series : {kRelativeRms, kFramewise}) {
        const auto* column = table.column(series.column);
        if (column == nullptr) {
            continue;
        }
        const auto summary = summarizeSeries(*column);
        if (!summary) {
            continue;
        }
        qc.summaries.push_back({std::string(series.name), std::string(series.column),
                                millimetreText(summary->mean), millimetreText(summary->median),
                                millimetreText(summary->maximum)});
    }
    qc.flaggedVolumes = flaggedVolumes(table);
    qc.flaggedPercent = percentText(percentOf(qc.flaggedVolumes.size(), qc.volumes));
    if (spikeSearch && thresholdOf(spikeSearch)) {
        qc.threshold = spikeSearch->threshold;
    }
    qc.thresholdMeasure = std::string(thresholdSeries(spikeSearch).name);
    return qc;
}

std::vector<SeriesPanel> motionPanels(const ConfoundSeries& table,
                                      const std::optional<SpikeSearch>& spikeSearch) {
    std::vector<SeriesPanel> panels;
    const auto add = [&](SeriesPanel panel, std::initializer_list<SeriesColumn> columns,
                         std::initializer_list<Rgb8> colors, bool degrees) {
        auto color = colors.begin();
        for (const SeriesColumn& series : columns) {
            const auto* column = table.column(series.column);
            if (column != nullptr) {
                panel.series.push_back({std::string(series.name),
                                        degrees ? degreesFromRadians(*column) : *column, *color});
            }
            ++color;
        }
        if (!panel.series.empty()) {
            panels.push_back(std::move(panel));
        }
    };

    SeriesPanel displacement{"Displacement from the previous volume",
                             "Relative RMS and framewise displacement per volume in mm; the "
                             "dashed line is the spike threshold, shaded volumes are flagged",
                             "mm",
                             {},
                             {},
                             {}};
    displacement.threshold = thresholdOf(spikeSearch);
    displacement.flagged = flaggedVolumes(table);
    add(std::move(displacement), {kRelativeRms, kFramewise}, {okabe_ito::kBlue, okabe_ito::kOrange},
        false);
    add({"Translations",
         "Translations along x, y and z in mm, as the motion correction found them",
         "mm",
         {},
         {},
         {}},
        {{"trans_x", "x"}, {"trans_y", "y"}, {"trans_z", "z"}},
        {okabe_ito::kBlue, okabe_ito::kVermillion, okabe_ito::kBluishGreen}, false);
    add({"Rotations",
         "Rotations about x, y and z in degrees (the confound table holds radians)",
         "degrees",
         {},
         {},
         {}},
        {{"rot_x", "about x"}, {"rot_y", "about y"}, {"rot_z", "about z"}},
        {okabe_ito::kBlue, okabe_ito::kVermillion, okabe_ito::kBluishGreen}, true);
    return panels;
}

std::string_view spikeMeasureName(const std::string& measure) {
    return thresholdSeries(SpikeSearch{"", measure, {}}).name;
}

std::vector<SpikeRow> spikeRows(const ConfoundSeries& table, const std::string& measure) {
    const std::vector<double>* values =
        table.column(thresholdSeries(SpikeSearch{"", measure, {}}).column);
    std::vector<SpikeRow> rows;
    for (const std::size_t volume : flaggedVolumes(table)) {
        SpikeRow row;
        row.volume = static_cast<std::int32_t>(volume);
        const double value =
            values != nullptr && volume < values->size() ? (*values)[volume] : std::nan("");
        row.displacement =
            std::isfinite(value) ? numberText(value, std::chars_format::general, 6) : "n/a";
        rows.push_back(std::move(row));
    }
    return rows;
}

PageMapScale mapScaleOf(double maximum) {
    PageMapScale scale;
    scale.maximum = millimetreText(maximum);
    const AxisTicks ticks = axisTicks(0.0, maximum);
    for (const double value : ticks.values) {
        const double percent = maximum > 0.0 ? 100.0 * value / maximum : 0.0;
        scale.ticks.push_back({numberText(value, std::chars_format::general, 6),
                               numberText(percent, std::chars_format::fixed, 1)});
    }
    return scale;
}

} // namespace halvorn_host
