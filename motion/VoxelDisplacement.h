// How far each brain voxel's centre is carried by the rigid transform of each volume, condensed
// into seven per-voxel statistics.
#pragma once

#include "DesignMatrix.h"
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
DisplacementMaps computeVoxelDisplacement(const VolumeDimensions& dim, const VoxelSize& voxelSize,
                                          const std::vector<std::int32_t>& maskIndices,
                                          const DesignMatrix& motion);

} // namespace qm
