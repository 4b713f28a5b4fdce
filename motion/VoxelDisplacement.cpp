#include "VoxelDisplacement.h"

#include "DisplacementKernels.h"
#include "MotionRows.h"
#include "PartsInParallel.h"

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

// Reference positions of masked voxels, from the voxel index without a grid of the whole volume:
// x per voxel, and y and z once per row, as the kernels take them.
class ReferencePositions {
public:
    ReferencePositions(const VolumeDimensions& dim, const VoxelSize& voxelSize)
        : dim_(dim), x_(AxisCentres(dim.x, static_cast<float>(dim.x) * voxelSize.x).all(dim.x)),
          y_(AxisCentres(dim.y, static_cast<float>(dim.y) * voxelSize.y).all(dim.y)),
          z_(AxisCentres(dim.z, static_cast<float>(dim.z) * voxelSize.z).all(dim.z)) {}

    // x of each of the `count` voxels, and the rows they make up (cleared first).
    void fill(const std::int32_t* voxels, std::size_t count, float* x,
              std::vector<kernels::DisplacementRow>& rows) const {
        rows.clear();
        std::int32_t rowStart = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::int32_t voxel = voxels[i];
            if (rows.empty() || voxel - rowStart >= dim_.x) {
                const std::int32_t row = voxel / dim_.x;
                rowStart = row * dim_.x;
                rows.push_back({y_[static_cast<std::size_t>(row % dim_.y)],
                                z_[static_cast<std::size_t>(row / dim_.y)], i, 0});
            }
            x[i] = x_[static_cast<std::size_t>(voxel - rowStart)];
            ++rows.back().count;
        }
    }

private:
    VolumeDimensions dim_;
    std::vector<float> x_;
    std::vector<float> y_;
    std::vector<float> z_;
};

// What one thread needs besides the shared inputs, allocated before any thread starts.
class KernelWorkspace {
public:
    explicit KernelWorkspace(std::size_t volumes)
        : rowTerms_(volumes * kernels::kCoefficientsPerVolume), x_(kPaddedBatch),
          scatteredX_(kPaddedBatch), scatteredY_(kPaddedBatch), scatteredZ_(kPaddedBatch),
          scatteredVoxel_(kPaddedBatch) {
        rows_.reserve(kVoxelsPerBatch);
    }

    // The statistics of maskIndices[first .. first + count) into entries first .. of `out`.
    void compute(kernels::DisplacementKernel kernel, const std::vector<float>& coefficients,
                 std::size_t volumes, const ReferencePositions& positions,
                 const std::vector<std::int32_t>& maskIndices, std::size_t first, std::size_t count,
                 MaskedDisplacement& out) {
        const kernels::DisplacementScratch scratch{rowTerms_.data(), scatteredX_.data(),
                                                   scatteredY_.data(), scatteredZ_.data(),
                                                   scatteredVoxel_.data()};
        for (std::size_t done = 0; done < count; done += kVoxelsPerBatch) {
            const std::size_t begin = first + done;
            const std::size_t size = std::min(kVoxelsPerBatch, count - done);
            positions.fill(maskIndices.data() + begin, size, x_.data(), rows_);
            const kernels::DisplacementTargets targets{
                out.meanAbsolute.data() + begin, out.maxAbsolute.data() + begin,
                out.meanRelative.data() + begin, out.maxRelative.data() + begin,
                out.maxAbsoluteX.data() + begin, out.maxAbsoluteY.data() + begin,
                out.maxAbsoluteZ.data() + begin};
            kernel(kernels::DisplacementBatch{coefficients.data(), volumes, x_.data(), rows_.data(),
                                              rows_.size(), size},
                   targets, scratch);
        }
    }

private:
    // The kernels compute whole groups of lanes; lanes past the last voxel read the zeros or
    // earlier positions that lie there, and are never stored.
    static constexpr std::size_t kPaddedBatch = kVoxelsPerBatch + kernels::kPositionPadding;

    std::vector<float> rowTerms_;
    std::vector<float> x_;
    std::vector<kernels::DisplacementRow> rows_;
    std::vector<float> scatteredX_;
    std::vector<float> scatteredY_;
    std::vector<float> scatteredZ_;
    std::vector<std::size_t> scatteredVoxel_;
};

MaskedDisplacement sizedFor(std::size_t count) {
    return {std::vector<float>(count), std::vector<float>(count), std::vector<float>(count),
            std::vector<float>(count), std::vector<float>(count), std::vector<float>(count),
            std::vector<float>(count)};
}

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

MaskedDisplacement computeMaskedDisplacement(const VolumeDimensions& dim,
                                             const VoxelSize& voxelSize,
                                             const std::vector<std::int32_t>& maskIndices,
                                             const DesignMatrix& motion, std::size_t threads) {
    return computeMaskedDisplacement(dim, voxelSize, maskIndices, motion,
                                     bestDisplacementInstructionSet(), threads);
}

MaskedDisplacement
computeMaskedDisplacement(const VolumeDimensions& dim, const VoxelSize& voxelSize,
                          const std::vector<std::int32_t>& maskIndices, const DesignMatrix& motion,
                          DisplacementInstructionSet instructionSet, std::size_t threads) {
    const std::size_t volumes = requireConsistentInputs(dim, maskIndices, motion);
    const kernels::DisplacementKernel kernel = kernelFor(instructionSet);
    const std::vector<float> coefficients = volumeCoefficients(motion, volumes);
    const ReferencePositions positions(dim, voxelSize);
    const std::size_t count = maskIndices.size();
    MaskedDisplacement out = sizedFor(count);

    // Parts of equal size; each writes only its own entries of `out`.
    const std::size_t parts = std::max<std::size_t>(1, std::min(threads, count));
    const auto partStart = [count, parts](std::size_t part) {
        return count / parts * part + std::min(part, count % parts);
    };
    std::vector<KernelWorkspace> workspaces;
    workspaces.reserve(parts);
    for (std::size_t part = 0; part < parts; ++part) {
        workspaces.emplace_back(volumes);
    }
    runPartsInParallel(parts, [&](std::size_t part) {
        workspaces[part].compute(kernel, coefficients, volumes, positions, maskIndices,
                                 partStart(part), partStart(part + 1) - partStart(part), out);
    });
    return out;
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
    const MaskedDisplacement masked =
        computeMaskedDisplacement(dim, voxelSize, maskIndices, motion, instructionSet);
    return {scatterMaskedValues(masked.meanAbsolute, maskIndices, dim),
            scatterMaskedValues(masked.maxAbsolute, maskIndices, dim),
            scatterMaskedValues(masked.meanRelative, maskIndices, dim),
            scatterMaskedValues(masked.maxRelative, maskIndices, dim),
            scatterMaskedValues(masked.maxAbsoluteX, maskIndices, dim),
            scatterMaskedValues(masked.maxAbsoluteY, maskIndices, dim),
            scatterMaskedValues(masked.maxAbsoluteZ, maskIndices, dim)};
}

Volume scatterMaskedValues(const std::vector<float>& values,
                           const std::vector<std::int32_t>& maskIndices,
                           const VolumeDimensions& dim) {
    Volume volume(dim);
    for (std::size_t i = 0; i < maskIndices.size(); ++i) {
        volume.data[static_cast<std::size_t>(maskIndices[i])] = values[i];
    }
    return volume;
}

} // namespace qm
