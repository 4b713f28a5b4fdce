// Spike volumes: volumes whose relative RMS displacement exceeds a threshold.
#pragma once

#include "DesignMatrix.h"
#include "LogLine.h"

#include <cstdint>
#include <vector>

namespace qm {

// Ascending indices i with series[i] > threshold (strictly; NaN never).
std::vector<std::int32_t> findSpikeVolumes(const std::vector<float>& series, float threshold);

// Turns `matrix` (a copy of the motion matrix) into the spike matrix: one "Spike Volume i"
// predictor per spike, and writes the spike log lines to `log`.
void buildSpikePredictors(DesignMatrix& matrix, const std::vector<float>& series, float threshold,
                          const LogSink& log);

} // namespace qm
