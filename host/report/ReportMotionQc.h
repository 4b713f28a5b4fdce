// The quality-control numbers of a run, from its confound table: how far the head moved from
// volume to volume, and which volumes the confound task flagged as spikes.
#pragma once

#include "ReportConfoundSeries.h"

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace halvorn_host {

// Over the values of a series that are defined (volume 0 has no volume-to-volume value).
struct SeriesSummary {
    double mean = 0.0;
    double median = 0.0; // of an even count, the mean of the middle two
    double maximum = 0.0;
    std::size_t values = 0;
};

// Nothing when no value is defined.
std::optional<SeriesSummary> summarizeSeries(std::span<const double> values);

// The volumes, ascending and each once, that hold 1 in any motion_outlierNN column (one column
// per spike predictor of the confound task).
std::vector<std::size_t> flaggedVolumes(const ConfoundSeries& table);

// `count` of `total` in percent; 0 when `total` is 0.
double percentOf(std::size_t count, std::size_t total);

// The table holds rotations in radians; the report shows degrees.
std::vector<double> degreesFromRadians(std::span<const double> radians);

// The shared colour scale of a run's maps: the largest of their maxima, 1 mm when none is above
// 0 (an empty scale cannot be drawn).
double sharedMapScale(std::span<const float> maxima);

// The ticks of an axis from `lower` to `upper`: the multiples of a step of 1, 2, 2.5 or 5 times a
// power of ten that lie in the range, at most seven of them over the range. A range that is
// empty or not finite has the one tick `lower` (0 when it is not finite).
struct AxisTicks {
    double step = 1.0;
    std::vector<double> values;
};
AxisTicks axisTicks(double lower, double upper);

} // namespace halvorn_host
