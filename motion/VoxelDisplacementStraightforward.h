// The plain reading of the voxel displacement statistics: transform the whole reference grid once
// per volume, then walk the mask. It is the definition every faster kernel must reproduce bit for
// bit, so it stays free of any cleverness.
#pragma once

#include "VoxelDisplacement.h"

namespace qm {

// Inputs must already be consistent (see computeVoxelDisplacement): every mask index inside the
// grid, and at least one volume with six motion columns of NrOfDataPoints values.
DisplacementMaps
computeVoxelDisplacementStraightforward(const VolumeDimensions& dim, const VoxelSize& voxelSize,
                                        const std::vector<std::int32_t>& maskIndices,
                                        const DesignMatrix& motion);

} // namespace qm
