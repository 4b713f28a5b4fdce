// The quality-control parts of a run's section on the report page: the numbers and panels of
// its confound table, and the colour scale its map pictures share.
#pragma once

#include "ReportConfoundSeries.h"
#include "ReportMotionPanels.h"
#include "ReportPage.h"
#include "ReportRecord.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvorn_host {

// The summary numbers of the table's relative_rms and framewise_displacement columns (those it
// has), its flagged volumes, and the threshold of the spike search the transcript recorded. The
// panels are left to the caller, who draws them.
PageMotionQc motionQcSection(const ConfoundSeries& table, const std::string& tableName,
                             const std::optional<SpikeSearch>& spikeSearch);

// What the panels show: displacement from the previous volume (with the threshold and the
// flagged volumes), translations in millimetres, rotations in degrees. A panel whose columns the
// table lacks is left out.
std::vector<SeriesPanel> motionPanels(const ConfoundSeries& table,
                                      const std::optional<SpikeSearch>& spikeSearch);

// What the spike threshold is compared with for a "spike_measure" value: "framewise
// displacement" for 1, "relative RMS displacement" otherwise.
std::string_view spikeMeasureName(const std::string& measure);

// The volumes the table flags in its motion_outlierNN columns, each with its value of the
// measure the threshold applies to ("n/a" where the table has none).
std::vector<SpikeRow> spikeRows(const ConfoundSeries& table, const std::string& measure);

// The page's statement of a colour scale from 0 to `maximum` millimetres, with its ticks.
PageMapScale mapScaleOf(double maximum);

} // namespace halvorn_host
