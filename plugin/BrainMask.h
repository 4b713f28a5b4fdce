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

// A mask without a voxel gives maps of zeros that look like a run without motion. Throws
// std::runtime_error giving the threshold and the range of the intensities of `volume` (volume 0
// of the FMR project at `fmrPath`) when `maskIndices` is empty.
void requireBrainVoxels(const std::vector<std::int32_t>& maskIndices, const Volume& volume,
                        float threshold, const std::string& fmrPath);

// The mask comes from the FMR project's own data, the statistics from the host's header of the
// current document; when the two disagree in size the mask would address other voxels than it
// describes. Throws std::runtime_error naming the FMR and both sizes.
void requireMaskFitsDocument(const std::string& fmrPath, const VolumeDimensions& projectSize,
                             const VolumeDimensions& documentSize);

} // namespace qm
