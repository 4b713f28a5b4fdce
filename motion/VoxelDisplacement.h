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

// `maskIndices`: ascending voxel indices; `motion`: columns 0..5 are the motion rows.
//
// Bit for bit what transforming the whole reference grid with each volume's transform and then
// walking the mask gives, but voxel by voxel: each group of masked voxels keeps its statistics in
// registers while it walks through the volumes, on the widest instruction set the processor has.
// Memory: the seven result volumes, twelve floats per volume and a small buffer of positions.
// Throws std::invalid_argument for a mask that does not fit the grid and std::runtime_error for a
// motion matrix without six full columns or without data points.
DisplacementMaps computeVoxelDisplacement(const VolumeDimensions& dim, const VoxelSize& voxelSize,
                                          const std::vector<std::int32_t>& maskIndices,
                                          const DesignMatrix& motion);

// The same with the kernel of `instructionSet`, which must be one of
// supportedDisplacementInstructionSets() (std::invalid_argument otherwise). For comparing the
// kernels with each other.
DisplacementMaps computeVoxelDisplacement(const VolumeDimensions& dim, const VoxelSize& voxelSize,
                                          const std::vector<std::int32_t>& maskIndices,
                                          const DesignMatrix& motion,
                                          DisplacementInstructionSet instructionSet);

} // namespace qm
