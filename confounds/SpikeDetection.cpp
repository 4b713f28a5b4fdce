#include "SpikeDetection.h"

#include "PredictorTransforms.h"

#include <cstddef>
#include <limits>
#include <stdexcept>
#include <string>

namespace qm {

namespace {

constexpr int kSpikeColour = 250;
constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

std::size_t volumeCount(std::int32_t count) {
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

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

std::vector<FlaggedVolume> flagSpikesAndNeighbours(const std::vector<std::int32_t>& spikes,
                                                   std::size_t volumes,
                                                   SpikeNeighbours neighbours) {
    const std::size_t before = volumeCount(neighbours.before);
    const std::size_t after = volumeCount(neighbours.after);
    // For every volume the nearest spike at or before it and at or after it, found in one sweep
    // each way, so the work grows with the run and not with the neighbour counts.
    std::vector<bool> isSpike(volumes, false);
    for (const std::int32_t spike : spikes) {
        if (spike >= 0 && static_cast<std::size_t>(spike) < volumes) {
            isSpike[static_cast<std::size_t>(spike)] = true;
        }
    }
    std::vector<std::size_t> nextSpike(volumes, kNone);
    for (std::size_t v = volumes, next = kNone; v-- > 0;) {
        next = isSpike[v] ? v : next;
        nextSpike[v] = next;
    }

    std::vector<FlaggedVolume> flagged;
    std::size_t previous = kNone;
    for (std::size_t v = 0; v < volumes; ++v) {
        if (isSpike[v]) {
            previous = v;
            flagged.push_back({static_cast<std::int32_t>(v), static_cast<std::int32_t>(v)});
            continue;
        }
        const bool afterPrevious = previous != kNone && v - previous <= after;
        const bool beforeNext = nextSpike[v] != kNone && nextSpike[v] - v <= before;
        if (!afterPrevious && !beforeNext) {
            continue;
        }
        const bool previousIsNearer =
            afterPrevious && (!beforeNext || v - previous <= nextSpike[v] - v);
        const std::size_t owner = previousIsNearer ? previous : nextSpike[v];
        flagged.push_back({static_cast<std::int32_t>(v), static_cast<std::int32_t>(owner)});
    }
    return flagged;
}

std::vector<FlaggedVolume> buildSpikePredictors(DesignMatrix& matrix,
                                                const std::vector<float>& series, float threshold,
                                                const LogSink& log, SpikeNeighbours neighbours) {
    // Each spike column marks its volume; a series of another length would mark the wrong
    // volumes or volumes the matrix does not have.
    if (static_cast<std::int64_t>(series.size()) != matrix.nrOfDataPoints.value) {
        throw std::invalid_argument("The displacement series has " + std::to_string(series.size()) +
                                    " values but " + matrix.path + " has " +
                                    std::to_string(matrix.nrOfDataPoints.value) + " data points.");
    }
    writeLogLine(log, ">  Detecting Spikes");
    const std::vector<std::int32_t> spikes = findSpikeVolumes(series, threshold);
    const std::vector<FlaggedVolume> flagged =
        flagSpikesAndNeighbours(spikes, series.size(), neighbours);

    clearPredictors(matrix);
    for (const FlaggedVolume& entry : flagged) {
        const auto i = static_cast<std::size_t>(entry.volume);
        std::vector<float> column(series.size(), 0.0F);
        column[i] = 1.0F;
        addPredictor(matrix, std::move(column), "Spike Volume " + std::to_string(entry.volume),
                     kSpikeColour, kSpikeColour, kSpikeColour);
        if (entry.spike == entry.volume) {
            writeLogLine(log, ">  Found spike at position ", entry.volume, " with displacement ",
                         series[i], " mm");
        } else {
            writeLogLine(log, ">  Flagged volume ", entry.volume,
                         " as neighbour of the spike at position ", entry.spike);
        }
    }
    if (spikes.empty()) {
        writeLogLine(log, ">  No spikes found with displacement greater than ", threshold, " mm");
    }
    return flagged;
}

} // namespace qm
