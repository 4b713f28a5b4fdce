// The plain reading of the voxel displacement statistics: transform the whole reference grid once
// per volume, then walk the mask. It is the definition the fast kernels are compared with bit for
// bit, so it stays free of any cleverness (and of any speed).
#pragma once

#include "VoxelDisplacement.h"

namespace qm::test {

// Inputs must be consistent (as computeVoxelDisplacement checks): every mask index inside the
// grid and ascending, and at least one volume with six motion columns of NrOfDataPoints values.
DisplacementMaps computeVoxelDisplacementReference(const VolumeDimensions& dim,
                                                   const VoxelSize& voxelSize,
                                                   const std::vector<std::int32_t>& maskIndices,
                                                   const DesignMatrix& motion);

} // namespace qm::test
