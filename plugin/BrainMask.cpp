#include "BrainMask.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <sstream>
#include <stdexcept>

namespace qm {
namespace {

std::string sizeText(const VolumeDimensions& dim) {
    return std::to_string(dim.x) + " x " + std::to_string(dim.y) + " x " + std::to_string(dim.z);
}

// A number as the log writes it: general notation with at most six significant digits.
std::string numberText(float value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << value;
    return text.str();
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

void requireBrainVoxels(const std::vector<std::int32_t>& maskIndices, const Volume& volume,
                        float threshold, const std::string& fmrPath) {
    if (!maskIndices.empty()) {
        return;
    }
    const std::string start = "The brain mask is empty: no voxel of volume 0 of " + fmrPath +
                              " is brighter than \"fmr_threshold\" " + numberText(threshold);
    bool anyNumber = false;
    float lowest = 0.0F;
    float highest = 0.0F;
    for (const float value : volume.data) {
        if (std::isnan(value)) {
            continue;
        }
        lowest = anyNumber ? std::min(lowest, value) : value;
        highest = anyNumber ? std::max(highest, value) : value;
        anyNumber = true;
    }
    if (!anyNumber) {
        throw std::runtime_error(start + "; every intensity of that volume is NaN.");
    }
    throw std::runtime_error(start + "; its intensities range from " + numberText(lowest) + " to " +
                             numberText(highest) +
                             ". Choose a threshold below the brain's intensities.");
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
