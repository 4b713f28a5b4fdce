#include "VoxelDisplacement.h"

#include "DisplacementKernels.h"
#include "MotionRows.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace qm {

namespace {

// Masked voxels whose reference positions are laid out at a time: small enough for the
// processor's caches, large enough that each call of a kernel does plenty of work.
constexpr std::size_t kVoxelsPerBatch = 2048;
static_assert(kVoxelsPerBatch % kernels::kPositionPadding == 0);

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

// Voxel centres along one axis of n voxels over an extent S: i·h + o with the step h = S / n and
// the offset o = (h − S)·0.5, so that the middle of the volume is the origin the rotations act
// about. The grid and the fast kernel both take their positions from here.
struct AxisCentres {
    float step = 0.0F;
    float offset = 0.0F;

    AxisCentres(std::int32_t count, float extent)
        : step(extent / static_cast<float>(count)), offset((step - extent) * 0.5F) {}

    float at(std::int32_t index) const { return static_cast<float>(index) * step + offset; }

    std::vector<float> all(std::int32_t count) const {
        std::vector<float> centres;
        centres.reserve(static_cast<std::size_t>(count));
        for (std::int32_t i = 0; i < count; ++i) {
            centres.push_back(at(i));
        }
        return centres;
    }
};

// Returns the number of volumes.
std::size_t requireConsistentInputs(const VolumeDimensions& dim,
                                    const std::vector<std::int32_t>& maskIndices,
                                    const DesignMatrix& motion) {
    if (dim.x < 0 || dim.y < 0 || dim.z < 0) {
        throw std::invalid_argument("The voxel grid " + describe(dim) +
                                    " has a negative dimension.");
    }
    requireMaskInsideGrid(maskIndices, dim, elementCount(dim));
    const std::size_t volumes = requireMotionColumns(motion);
    if (volumes == 0) {
        // The mean maps divide by the number of volumes.
        throw std::runtime_error("The motion design matrix " + motionMatrixName(motion) +
                                 " has no data points (NrOfDataPoints is 0), so there is no "
                                 "motion to compute voxel displacement from.");
    }
    return volumes;
}

kernels::DisplacementKernel kernelFor(DisplacementInstructionSet instructionSet) {
    const std::vector<DisplacementInstructionSet> supported =
        supportedDisplacementInstructionSets();
    if (std::find(supported.begin(), supported.end(), instructionSet) == supported.end()) {
        throw std::invalid_argument("The voxel displacement kernel for " +
                                    std::string(displacementInstructionSetName(instructionSet)) +
                                    " is not available in this build or on this processor.");
    }
    switch (instructionSet) {
#if defined(QUELMAR_X86_64_KERNELS)
    case DisplacementInstructionSet::sse2:
        return kernels::accumulateSse2;
#endif
#if defined(QUELMAR_WIDE_KERNELS)
    case DisplacementInstructionSet::avx:
        return kernels::accumulateAvx;
    case DisplacementInstructionSet::avx512:
        return kernels::accumulateAvx512;
#endif
    default:
        return kernels::accumulatePortable;
    }
}

// The transform of every volume, exactly as the plain computation builds it, reduced to the
// twelve coefficients that moving a point reads.
std::vector<float> volumeCoefficients(const DesignMatrix& motion, std::size_t volumes) {
    std::vector<float> coefficients;
    coefficients.reserve(volumes * kernels::kCoefficientsPerVolume);
    for (std::size_t j = 0; j < volumes; ++j) {
        const Matrix4x4 t = transformFromMotionRow(motionRow(motion, j));
        for (const float value : {t(0, 0), t(1, 0), t(2, 0), t(0, 3), t(0, 1), t(1, 1), t(2, 1),
                                  t(1, 3), t(0, 2), t(1, 2), t(2, 2), t(2, 3)}) {
            coefficients.push_back(value);
        }
    }
    return coefficients;
}

// Reference positions of masked voxels, from the voxel index without a grid of the whole volume.
// Masks run along rows, so the row's y and z are looked up only when the row changes.
class ReferencePositions {
public:
    ReferencePositions(const VolumeDimensions& dim, const VoxelSize& voxelSize)
        : dim_(dim), x_(AxisCentres(dim.x, static_cast<float>(dim.x) * voxelSize.x).all(dim.x)),
          y_(AxisCentres(dim.y, static_cast<float>(dim.y) * voxelSize.y).all(dim.y)),
          z_(AxisCentres(dim.z, static_cast<float>(dim.z) * voxelSize.z).all(dim.z)) {}

    void fill(const std::int32_t* voxels, std::size_t count, float* x, float* y, float* z) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::int32_t voxel = voxels[i];
            if (!knowsRow_ || voxel < rowStart_ || voxel - rowStart_ >= dim_.x) {
                knowsRow_ = true;
                const std::int32_t row = voxel / dim_.x;
                rowStart_ = row * dim_.x;
                rowY_ = y_[static_cast<std::size_t>(row % dim_.y)];
                rowZ_ = z_[static_cast<std::size_t>(row / dim_.y)];
            }
            x[i] = x_[static_cast<std::size_t>(voxel - rowStart_)];
            y[i] = rowY_;
            z[i] = rowZ_;
        }
    }

private:
    VolumeDimensions dim_;
    std::vector<float> x_;
    std::vector<float> y_;
    std::vector<float> z_;
    bool knowsRow_ = false;
    std::int32_t rowStart_ = 0;
    float rowY_ = 0.0F;
    float rowZ_ = 0.0F;
};

} // namespace

std::vector<Point3> buildVoxelCentreGrid(const VolumeDimensions& dim, float extentX, float extentY,
                                         float extentZ) {
    const AxisCentres alongX(dim.x, extentX);
    const AxisCentres alongY(dim.y, extentY);
    const AxisCentres alongZ(dim.z, extentZ);
    std::vector<Point3> grid;
    grid.reserve(elementCount(dim));
    for (std::int32_t z = 0; z < dim.z; ++z) {
        for (std::int32_t y = 0; y < dim.y; ++y) {
            for (std::int32_t x = 0; x < dim.x; ++x) {
                grid.push_back(Point3{alongX.at(x), alongY.at(y), alongZ.at(z)});
            }
        }
    }
    return grid;
}

DisplacementMaps computeVoxelDisplacement(const VolumeDimensions& dim, const VoxelSize& voxelSize,
                                          const std::vector<std::int32_t>& maskIndices,
                                          const DesignMatrix& motion) {
    return computeVoxelDisplacement(dim, voxelSize, maskIndices, motion,
                                    bestDisplacementInstructionSet());
}

DisplacementMaps computeVoxelDisplacement(const VolumeDimensions& dim, const VoxelSize& voxelSize,
                                          const std::vector<std::int32_t>& maskIndices,
                                          const DesignMatrix& motion,
                                          DisplacementInstructionSet instructionSet) {
    const std::size_t volumes = requireConsistentInputs(dim, maskIndices, motion);
    const kernels::DisplacementKernel kernel = kernelFor(instructionSet);
    const std::vector<float> coefficients = volumeCoefficients(motion, volumes);

    DisplacementMaps maps{Volume(dim), Volume(dim), Volume(dim), Volume(dim),
                          Volume(dim), Volume(dim), Volume(dim)};
    const kernels::DisplacementTargets targets{
        maps.meanAbsolute.data.data(), maps.maxAbsolute.data.data(),  maps.meanRelative.data.data(),
        maps.maxRelative.data.data(),  maps.maxAbsoluteX.data.data(), maps.maxAbsoluteY.data.data(),
        maps.maxAbsoluteZ.data.data()};

    ReferencePositions positions(dim, voxelSize);
    // The kernels compute whole groups of lanes; lanes past a batch's last voxel read the zeros
    // or an earlier batch's positions that lie there, and are never stored.
    std::vector<float> x(kVoxelsPerBatch, 0.0F);
    std::vector<float> y(kVoxelsPerBatch, 0.0F);
    std::vector<float> z(kVoxelsPerBatch, 0.0F);
    for (std::size_t first = 0; first < maskIndices.size(); first += kVoxelsPerBatch) {
        const std::size_t count = std::min(kVoxelsPerBatch, maskIndices.size() - first);
        positions.fill(maskIndices.data() + first, count, x.data(), y.data(), z.data());
        kernel(kernels::DisplacementBatch{coefficients.data(), volumes, x.data(), y.data(),
                                          z.data(), maskIndices.data() + first, count},
               targets);
    }
    return maps;
}

} // namespace qm
