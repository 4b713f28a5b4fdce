#include "MotionRows.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qm {

namespace {

constexpr std::size_t kMotionColumnCount = 6;

} // namespace

std::string motionMatrixName(const DesignMatrix& motion) {
    return motion.path.empty() ? std::string("(not read from a file)") : motion.path;
}

std::size_t requireMotionColumns(const DesignMatrix& motion) {
    const std::int32_t volumes = motion.nrOfDataPoints.value;
    if (volumes < 0) {
        throw std::runtime_error("The motion design matrix " + motionMatrixName(motion) +
                                 " has a negative number of data points (" +
                                 std::to_string(volumes) + ").");
    }
    if (motion.columns.size() < kMotionColumnCount) {
        throw std::runtime_error(
            "The motion design matrix " + motionMatrixName(motion) + " has " +
            std::to_string(motion.columns.size()) +
            " predictors; motion parameters need 6 (three translations, three rotations).");
    }
    for (std::size_t p = 0; p < kMotionColumnCount; ++p) {
        if (motion.columns[p].size() < static_cast<std::size_t>(volumes)) {
            throw std::runtime_error(
                "Predictor " + std::to_string(p + 1) + " of the motion design matrix " +
                motionMatrixName(motion) + " has " + std::to_string(motion.columns[p].size()) +
                " values, but the matrix has " + std::to_string(volumes) + " data points.");
        }
    }
    return static_cast<std::size_t>(volumes);
}

TransformParameters motionRow(const DesignMatrix& motion, std::size_t volume) {
    TransformParameters row;
    row.values.reserve(kMotionColumnCount);
    for (std::size_t p = 0; p < kMotionColumnCount; ++p) {
        row.values.push_back(motion.columns[p][volume]);
    }
    return row;
}

} // namespace qm
