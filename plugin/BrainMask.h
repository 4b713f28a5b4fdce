// The brain mask of the displacement task: which voxels of the run are brain, and the check that
// the run's data fit the grid of the document that the statistics are computed on.
#pragma once

#include "Volume.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// Indices of the elements of `volume` whose value is strictly greater than `threshold`, in
// index order. An element equal to the threshold, or NaN, is not brain.
std::vector<std::int32_t> brainMaskIndices(const Volume& volume, float threshold);

// The mask comes from the FMR project's own data, the statistics from the host's header of the
// current document; when the two disagree in size the mask would address other voxels than it
// describes. Throws std::runtime_error naming the FMR and both sizes.
void requireMaskFitsDocument(const std::string& fmrPath, const VolumeDimensions& projectSize,
                             const VolumeDimensions& documentSize);

} // namespace qm
