// How far each brain voxel's centre is carried by the rigid transform of each volume, condensed
// into seven per-voxel statistics.
#pragma once

#include "DesignMatrix.h"
#include "DisplacementInstructionSet.h"
#include "RigidTransform.h"
#include "Volume.h"

#include <cstdint>
#include <vector>

namespace qm {

struct DisplacementMaps {
    Volume meanAbsolute;
    Volume maxAbsolute;
    Volume meanRelative;
    Volume maxRelative;
    Volume maxAbsoluteX;
    Volume maxAbsoluteY;
    Volume maxAbsoluteZ;
};

struct VoxelSize {
    float x = 0.0F; // millimetres
    float y = 0.0F;
    float z = 0.0F;
};

// Voxel centres in voxel-index order, centred on the volume: (i + 0.5 - n/2)·h along each axis,
// for extents (sizeX, sizeY, sizeZ) in millimetres.
std::vector<Point3> buildVoxelCentreGrid(const VolumeDimensions& dim, float extentX, float extentY,
                                         float extentZ);

// The seven statistics of the masked voxels only: entry i of each array belongs to the voxel
// maskIndices[i]. Every voxel outside the mask holds +0 in every statistic, so these arrays and
// the mask describe the whole volumes, at a fraction of their memory.
struct MaskedDisplacement {
    std::vector<float> meanAbsolute;
    std::vector<float> maxAbsolute;
    std::vector<float> meanRelative;
    std::vector<float> maxRelative;
    std::vector<float> maxAbsoluteX;
    std::vector<float> maxAbsoluteY;
    std::vector<float> maxAbsoluteZ;
};

// `maskIndices`: ascending voxel indices; `motion`: columns 0..5 are the motion rows.
//
// Bit for bit what transforming the whole reference grid with each volume's transform and then
// walking the mask gives, but voxel by voxel: each group of masked voxels keeps its statistics in
// registers while it walks through the volumes, on the widest instruction set the processor has.
// With `threads` above 1 the masked voxels are split into that many parts, one computed by the
// calling thread and each other by a thread of its own, all joined before the function returns;
// every voxel is computed alone, so the results are those of one thread (0 counts as 1).
// Memory: the seven arrays, twelve floats per volume per thread and a few small buffers.
// Throws std::invalid_argument for a mask that does not fit the grid, std::runtime_error for a
// motion matrix without six full columns or without data points, and std::runtime_error when a
// thread cannot be started.
MaskedDisplacement computeMaskedDisplacement(const VolumeDimensions& dim,
                                             const VoxelSize& voxelSize,
                                             const std::vector<std::int32_t>& maskIndices,
                                             const DesignMatrix& motion, std::size_t threads = 1);

// The same with the kernel of `instructionSet`, which must be one of
// supportedDisplacementInstructionSets() (std::invalid_argument otherwise). For comparing the
// kernels with each other.
MaskedDisplacement
computeMaskedDisplacement(const VolumeDimensions& dim, const VoxelSize& voxelSize,
                          const std::vector<std::int32_t>& maskIndices, const DesignMatrix& motion,
                          DisplacementInstructionSet instructionSet, std::size_t threads = 1);

// The statistics as whole volumes: computeMaskedDisplacement, each array spread over a volume
// of zeros.
DisplacementMaps computeVoxelDisplacement(const VolumeDimensions& dim, const VoxelSize& voxelSize,
                                          const std::vector<std::int32_t>& maskIndices,
                                          const DesignMatrix& motion);

DisplacementMaps computeVoxelDisplacement(const VolumeDimensions& dim, const VoxelSize& voxelSize,
                                          const std::vector<std::int32_t>& maskIndices,
                                          const DesignMatrix& motion,
                                          DisplacementInstructionSet instructionSet);

// A volume of dimensions `dim` holding values[i] at maskIndices[i] and +0 everywhere else. The
// mask must fit the grid and have one index per value.
Volume scatterMaskedValues(const std::vector<float>& values,
                           const std::vector<std::int32_t>& maskIndices,
                           const VolumeDimensions& dim);

} // namespace qm
