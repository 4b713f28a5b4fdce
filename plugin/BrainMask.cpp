#include "BrainMask.h"

#include <stdexcept>

namespace qm {
namespace {

std::string sizeText(const VolumeDimensions& dim) {
    return std::to_string(dim.x) + " x " + std::to_string(dim.y) + " x " + std::to_string(dim.z);
}

} // namespace

std::vector<std::int32_t> brainMaskIndices(const Volume& volume, float threshold) {
    std::vector<std::int32_t> indices;
    for (std::size_t i = 0; i < volume.data.size(); ++i) {
        if (volume.data[i] > threshold) {
            // A volume holds at most 2^31 - 1 elements, so every index fits.
            indices.push_back(static_cast<std::int32_t>(i));
        }
    }
    return indices;
}

void requireMaskFitsDocument(const std::string& fmrPath, const VolumeDimensions& projectSize,
                             const VolumeDimensions& documentSize) {
    if (projectSize != documentSize) {
        throw std::runtime_error(
            "The FMR project " + fmrPath + " holds volumes of " + sizeText(projectSize) +
            " voxels, but the current document reports " + sizeText(documentSize) +
            " voxels; the brain mask from the project's data would not fit "
            "the document's grid. Reopen the FMR document and try again.");
    }
}

} // namespace qm
