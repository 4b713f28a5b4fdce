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

float largestElement(const Volume& volume) {
    const std::vector<float>& data = volume.data;
    if (data.empty()) {
        return 0.0F;
    }
    const float first = data.front();
    if (std::isnan(first)) {
        return first;
    }
    // The scan in one pass carries every comparison through a single value. Sixteen running
    // maxima, each kept by the same rule over every sixteenth element, are independent of one
    // another, and the largest of them is the largest value of the whole scan.
    constexpr std::size_t kRunning = 16;
    std::array<float, kRunning> running;
    running.fill(first);
    const std::size_t count = data.size();
    std::size_t index = 0;
    for (; index + kRunning <= count; index += kRunning) {
        for (std::size_t lane = 0; lane < kRunning; ++lane) {
            const float value = data[index + lane];
            running[lane] = value > running[lane] ? value : running[lane];
        }
    }
    float largest = first;
    for (const float value : running) {
        largest = value > largest ? value : largest;
    }
    for (; index < count; ++index) {
        largest = data[index] > largest ? data[index] : largest;
    }
    // Values that compare equal have the same bits, but for +0 and -0, of which the scan keeps
    // whichever comes first.
    if (largest == 0.0F) {
        return *std::find(data.begin(), data.end(), 0.0F);
    }
    return largest;
}

} // namespace qm
