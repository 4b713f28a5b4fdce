#include "Volume.h"

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

} // namespace qm
