// Spike volumes: volumes whose volume-to-volume displacement exceeds a threshold, and, when asked,
// the volumes around each spike.
#pragma once

#include "DesignMatrix.h"
#include "LogLine.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm {

// How many volumes before and after each spike are flagged with it (0 and 0: the spikes alone).
struct SpikeNeighbours {
    std::int32_t before = 0;
    std::int32_t after = 0;
};

// A volume that gets a spike predictor: a spike, or a volume next to one.
struct FlaggedVolume {
    std::int32_t volume = 0;
    std::int32_t spike = 0; // the spike it belongs to; `volume` itself for a spike
    bool operator==(const FlaggedVolume&) const = default;
};

// Ascending indices i with series[i] > threshold (strictly; NaN never).
std::vector<std::int32_t> findSpikeVolumes(const std::vector<float>& series, float threshold);

// The spikes (ascending) and the volumes up to `before` volumes before and `after` volumes after
// each, clipped to the run's `volumes` volumes, in ascending order and each volume once. A spike
// is always its own; a volume next to two spikes belongs to the nearer one, and to the earlier
// one when both are as near. Negative counts flag nothing more than the spikes.
std::vector<FlaggedVolume> flagSpikesAndNeighbours(const std::vector<std::int32_t>& spikes,
                                                   std::size_t volumes, SpikeNeighbours neighbours);

// Turns `matrix` (a copy of the motion matrix) into the spike matrix: one "Spike Volume i"
// predictor per flagged volume, in volume order, and writes the spike log lines to `log` (one
// per predictor: the spike and its displacement, or the spike a neighbour belongs to). Returns
// the flagged volumes in the order of the predictors.
std::vector<FlaggedVolume> buildSpikePredictors(DesignMatrix& matrix,
                                                const std::vector<float>& series, float threshold,
                                                const LogSink& log,
                                                SpikeNeighbours neighbours = {});

} // namespace qm
