// What the confound task puts into a run's confound table and its sidecar: the columns, named by
// the convention other analysis packages read, and a description of each with the parameters
// that made it. formats/ConfoundTable writes them.
#pragma once

#include "ConfoundTable.h"
#include "DesignMatrix.h"
#include "SpikeDetection.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <vector>

namespace qm {

// The derived families of the confound task, in the order it saves them.
enum class ConfoundFamily {
    Detrended,
    Derivative,
    Squared,
    Delayed1,
    Delayed2,
    Delayed1Squared,
    Delayed2Squared,
};

// A family switched on: the matrix as saved (standardised), the name of its SDM file, and for each
// column whether standardising divided it by its standard deviation (false: it was only centred,
// its spread being too small) - said before standardising, with standardizationScales.
struct TableFamily {
    ConfoundFamily family;
    const DesignMatrix& saved;
    std::string sdmFile;
    std::vector<bool> scaled;
};

// The spike search, when the task ran one.
struct TableSpikes {
    const DesignMatrix& predictors; // the spike matrix: one 0/1 column per flagged volume
    const std::vector<FlaggedVolume>& flagged;
    std::string sdmFile; // the "_spikes" file, written when there is at least one column
};

struct ConfoundTableInput {
    const DesignMatrix& loaded;            // the motion matrix as loaded
    const std::vector<float>& relativeRms; // of the detrended motion, with `headRadius`
    const std::vector<float>& framewise;   // of the detrended motion
    std::vector<TableFamily> families;     // the families switched on, in saving order
    const TableSpikes* spikes = nullptr;   // null when "create_spikes" is off
    float spikeThreshold = 0.0F;           // millimetres
    std::int32_t spikeMeasure = 0;         // 0 relative RMS, 1 framewise displacement
    float headRadius = 0.0F;               // millimetres, the radius used
    SpikeNeighbours neighbours{};
};

struct ConfoundTableContent {
    std::vector<ConfoundTableColumn> columns;
    nlohmann::ordered_json sidecar;
};

// Columns, in order: trans_x trans_y trans_z (mm) rot_x rot_y rot_z (radians), the motion as
// loaded, named by position (predictors 1 to 6 of the motion SDM); extra_1, extra_2, ... for
// any further predictors, as loaded; relative_rms and framewise_displacement (n/a for volume
// 0); each family switched on, one column per predictor named <parameter>_<family>, with the
// values of its SDM file; motion_outlier00, 01, ... one per spike predictor, in volume order.
ConfoundTableContent confoundTableContent(const ConfoundTableInput& input);

} // namespace qm
