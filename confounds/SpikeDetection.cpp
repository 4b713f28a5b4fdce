#include "SpikeDetection.h"

#include "PredictorTransforms.h"

#include <cstddef>
#include <stdexcept>
#include <string>

namespace qm {

namespace {

constexpr int kSpikeColour = 250;

} // namespace

std::vector<std::int32_t> findSpikeVolumes(const std::vector<float>& series, float threshold) {
    std::vector<std::int32_t> spikes;
    for (std::size_t i = 0; i < series.size(); ++i) {
        // Strictly greater: a value equal to the threshold is no spike, and NaN never is.
        if (series[i] > threshold) {
            spikes.push_back(static_cast<std::int32_t>(i));
        }
    }
    return spikes;
}

void buildSpikePredictors(DesignMatrix& matrix, const std::vector<float>& series, float threshold,
                          const LogSink& log) {
    // Each spike column marks its volume; a series of another length would mark the wrong
    // volumes or volumes the matrix does not have.
    if (static_cast<std::int64_t>(series.size()) != matrix.nrOfDataPoints.value) {
        throw std::invalid_argument("The displacement series has " + std::to_string(series.size()) +
                                    " values but " + matrix.path + " has " +
                                    std::to_string(matrix.nrOfDataPoints.value) + " data points.");
    }
    writeLogLine(log, ">  Detecting Spikes");
    const std::vector<std::int32_t> spikes = findSpikeVolumes(series, threshold);

    clearPredictors(matrix);
    for (const std::int32_t volume : spikes) {
        const auto i = static_cast<std::size_t>(volume);
        std::vector<float> column(series.size(), 0.0F);
        column[i] = 1.0F;
        addPredictor(matrix, std::move(column), "Spike Volume " + std::to_string(volume),
                     kSpikeColour, kSpikeColour, kSpikeColour);
        writeLogLine(log, ">  Found spike at position ", volume, " with displacement ", series[i],
                     " mm");
    }
    if (spikes.empty()) {
        writeLogLine(log, ">  No spikes found with displacement greater than ", threshold, " mm");
    }
}

} // namespace qm
