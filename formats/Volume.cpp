#include "Volume.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace qm {

std::size_t elementCount(const VolumeDimensions& dim) {
    if (dim.x < 0 || dim.y < 0 || dim.z < 0) {
        throw std::length_error("negative volume dimensions");
    }
    const auto count = static_cast<std::int64_t>(dim.x) * dim.y * dim.z;
    if (count > std::numeric_limits<std::int32_t>::max()) {
        throw std::length_error("volume of more than 2^31 - 1 voxels");
    }
    return static_cast<std::size_t>(count);
}

Volume::Volume(VolumeDimensions dimensions) : dim(dimensions), data(elementCount(dimensions)) {}

Volume::Volume(VolumeDimensions dimensions, float value)
    : dim(dimensions), data(elementCount(dimensions), value) {}

void Volume::divideBy(float divisor) {
    for (float& element : data) {
        element = element / divisor;
    }
}

namespace {

// The largest of `values` as the scan keeps it, starting from `first` (not NaN): a NaN never
// replaces it, so the result is the largest value that is not NaN. Sixteen running maxima, each
// kept by the same rule over every sixteenth element, are independent of one another, and the
// largest of them is the largest of all. Values that compare equal have the same bits, but for
// +0 and -0, which callers settle by position.
float largestValueFrom(float first, const float* values, std::size_t count) {
    constexpr std::size_t kRunning = 16;
    std::array<float, kRunning> running;
    running.fill(first);
    std::size_t index = 0;
    for (; index + kRunning <= count; index += kRunning) {
        for (std::size_t lane = 0; lane < kRunning; ++lane) {
            const float value = values[index + lane];
            running[lane] = value > running[lane] ? value : running[lane];
        }
    }
    float largest = first;
    for (const float value : running) {
        largest = value > largest ? value : largest;
    }
    for (; index < count; ++index) {
        largest = values[index] > largest ? values[index] : largest;
    }
    return largest;
}

} // namespace

float largestElement(const Volume& volume) {
    const std::vector<float>& data = volume.data;
    if (data.empty()) {
        return 0.0F;
    }
    const float first = data.front();
    if (std::isnan(first)) {
        return first;
    }
    const float largest = largestValueFrom(first, data.data(), data.size());
    // Of +0 and -0 the scan keeps whichever comes first.
    if (largest == 0.0F) {
        return *std::find(data.begin(), data.end(), 0.0F);
    }
    return largest;
}

float largestMaskedElement(const std::vector<float>& values,
                           const std::vector<std::int32_t>& maskIndices, std::size_t elementCount) {
    if (elementCount == 0) {
        return 0.0F;
    }
    // The scan starts from element 0: a masked value, or +0.
    const bool firstIsMasked = !maskIndices.empty() && maskIndices.front() == 0;
    const float first = firstIsMasked ? values.front() : 0.0F;
    if (std::isnan(first)) {
        return first;
    }
    float largest = largestValueFrom(first, values.data(), values.size());
    // The elements outside the mask are +0. The first of them is the first index the ascending
    // mask skips, if it skips any.
    const bool hasUnmasked = maskIndices.size() < elementCount;
    if (hasUnmasked) {
        largest = 0.0F > largest ? 0.0F : largest;
    }
    if (largest != 0.0F) {
        return largest;
    }
    // The result is a zero: whichever of +0 and -0 comes first in index order, between the
    // first masked zero and the first unmasked element.
    const auto firstMaskedZero = std::find(values.begin(), values.end(), 0.0F);
    if (firstMaskedZero == values.end()) {
        return 0.0F;
    }
    const auto position = static_cast<std::size_t>(firstMaskedZero - values.begin());
    if (hasUnmasked) {
        std::size_t firstUnmasked = 0;
        while (firstUnmasked < maskIndices.size() &&
               maskIndices[firstUnmasked] == static_cast<std::int32_t>(firstUnmasked)) {
            ++firstUnmasked;
        }
        if (firstUnmasked < static_cast<std::size_t>(maskIndices[position])) {
            return 0.0F;
        }
    }
    return *firstMaskedZero;
}

} // namespace qm
