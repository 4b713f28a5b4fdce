#include "VoxelDisplacement.h"

#include "MotionRows.h"
#include "VoxelDisplacementStraightforward.h"

#include <cstddef>
#include <stdexcept>
#include <string>

namespace qm {

namespace {

std::string describe(const VolumeDimensions& dim) {
    return std::to_string(dim.x) + " x " + std::to_string(dim.y) + " x " + std::to_string(dim.z);
}

// The mask indexes the grid and the result volumes directly: any index outside the grid, or out
// of order, would mean the mask and the grid come from runs of different sizes.
void requireMaskInsideGrid(const std::vector<std::int32_t>& maskIndices,
                           const VolumeDimensions& dim, std::size_t voxels) {
    std::int64_t previous = -1;
    for (std::size_t i = 0; i < maskIndices.size(); ++i) {
        const std::int32_t index = maskIndices[i];
        if (index < 0 || static_cast<std::size_t>(index) >= voxels) {
            throw std::invalid_argument("The brain mask holds voxel index " +
                                        std::to_string(index) + ", outside the " + describe(dim) +
                                        " voxel grid of the run.");
        }
        if (index <= previous) {
            throw std::invalid_argument("The brain mask is not in ascending voxel order (index " +
                                        std::to_string(index) + " follows " +
                                        std::to_string(previous) + ").");
        }
        previous = index;
    }
}

} // namespace

std::vector<Point3> buildVoxelCentreGrid(const VolumeDimensions& dim, float extentX, float extentY,
                                         float extentZ) {
    const std::size_t voxels = elementCount(dim);
    const float stepX = extentX / static_cast<float>(dim.x);
    const float stepY = extentY / static_cast<float>(dim.y);
    const float stepZ = extentZ / static_cast<float>(dim.z);
    // Centres at (i + 0.5 - n/2)·h: the middle of the volume is the origin the rotations act about.
    const float offsetX = (stepX - extentX) * 0.5F;
    const float offsetY = (stepY - extentY) * 0.5F;
    const float offsetZ = (stepZ - extentZ) * 0.5F;

    std::vector<Point3> grid;
    grid.reserve(voxels);
    for (std::int32_t z = 0; z < dim.z; ++z) {
        for (std::int32_t y = 0; y < dim.y; ++y) {
            for (std::int32_t x = 0; x < dim.x; ++x) {
                grid.push_back(Point3{static_cast<float>(x) * stepX + offsetX,
                                      static_cast<float>(y) * stepY + offsetY,
                                      static_cast<float>(z) * stepZ + offsetZ});
            }
        }
    }
    return grid;
}

DisplacementMaps computeVoxelDisplacement(const VolumeDimensions& dim, const VoxelSize& voxelSize,
                                          const std::vector<std::int32_t>& maskIndices,
                                          const DesignMatrix& motion) {
    if (dim.x < 0 || dim.y < 0 || dim.z < 0) {
        throw std::invalid_argument("The voxel grid " + describe(dim) +
                                    " has a negative dimension.");
    }
    const std::size_t voxels = elementCount(dim);
    requireMaskInsideGrid(maskIndices, dim, voxels);
    const std::size_t volumes = requireMotionColumns(motion);
    if (volumes == 0) {
        // The mean maps divide by the number of volumes.
        throw std::runtime_error("The motion design matrix " + motionMatrixName(motion) +
                                 " has no data points (NrOfDataPoints is 0), so there is no "
                                 "motion to compute voxel displacement from.");
    }
    return computeVoxelDisplacementStraightforward(dim, voxelSize, maskIndices, motion);
}

} // namespace qm
