#include "ReportMotionQc.h"

#include "AxisTicks.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string_view>

namespace halvorn_host {

std::optional<SeriesSummary> summarizeSeries(std::span<const double> values) {
    std::vector<double> defined;
    for (const double value : values) {
        if (std::isfinite(value)) {
            defined.push_back(value);
        }
    }
    if (defined.empty()) {
        return std::nullopt;
    }
    SeriesSummary summary;
    summary.values = defined.size();
    double sum = 0.0;
    for (const double value : defined) { // in volume order, before sorting
        sum += value;
    }
    summary.mean = sum / static_cast<double>(defined.size());
    std::sort(defined.begin(), defined.end());
    const std::size_t middle = defined.size() / 2;
    summary.median =
        defined.size() % 2 == 1 ? defined[middle] : (defined[middle - 1] + defined[middle]) / 2.0;
    summary.maximum = defined.back();
    return summary;
}

std::vector<std::size_t> flaggedVolumes(const ConfoundSeries& table) {
    std::vector<bool> flagged(table.volumes(), false);
    for (std::size_t i = 0; i < table.names.size(); ++i) {
        if (!std::string_view(table.names[i]).starts_with("motion_outlier")) {
            continue;
        }
        const auto& column = table.columns[i];
        for (std::size_t volume = 0; volume < column.size() && volume < flagged.size(); ++volume) {
            if (column[volume] == 1.0) {
                flagged[volume] = true;
            }
        }
    }
    std::vector<std::size_t> volumes;
    for (std::size_t volume = 0; volume < flagged.size(); ++volume) {
        if (flagged[volume]) {
            volumes.push_back(volume);
        }
    }
    return volumes;
}

double percentOf(std::size_t count, std::size_t total) {
    return total == 0 ? 0.0 : 100.0 * static_cast<double>(count) / static_cast<double>(total);
}

std::vector<double> degreesFromRadians(std::span<const double> radians) {
    std::vector<double> degrees;
    degrees.reserve(radians.size());
    for (const double value : radians) {
        degrees.push_back(value * (180.0 / std::numbers::pi));
    }
    return degrees;
}

double sharedMapScale(std::span<const float> maxima) {
    double scale = 0.0;
    for (const float maximum : maxima) {
        if (std::isfinite(maximum)) {
            scale = std::max(scale, static_cast<double>(maximum));
        }
    }
    return scale > 0.0 ? scale : 1.0;
}

AxisTicks axisTicks(double lower, double upper) {
    AxisTicks ticks;
    if (!std::isfinite(lower) || !std::isfinite(upper) || upper <= lower) {
        ticks.values = {std::isfinite(lower) ? lower : 0.0};
        return ticks;
    }
    ticks.step = tickStep(upper - lower, 6.0);
    ticks.values = tickValues(lower, upper, ticks.step);
    return ticks;
}

} // namespace halvorn_host
