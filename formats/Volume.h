// A 3-D grid of 32-bit floats, x fastest: element (x, y, z) is at x + dim.x * (y + dim.y * z).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm {

struct VolumeDimensions {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t z = 0;

    friend bool operator==(const VolumeDimensions&, const VolumeDimensions&) = default;
};

// Number of elements of a grid; throws std::length_error for negative dimensions or a count
// that does not fit a 32-bit signed integer.
std::size_t elementCount(const VolumeDimensions& dim);

struct Volume {
    VolumeDimensions dim;
    std::vector<float> data;

    Volume() = default;
    // Every element 0; callers that fill the array themselves pay only for one pass.
    explicit Volume(VolumeDimensions dimensions);
    Volume(VolumeDimensions dimensions, float value);

    float& at(std::int32_t x, std::int32_t y, std::int32_t z) {
        return data[static_cast<std::size_t>(x) +
                    static_cast<std::size_t>(dim.x) *
                        (static_cast<std::size_t>(y) + static_cast<std::size_t>(dim.y) * z)];
    }

    // Every element e becomes e / divisor.
    void divideBy(float divisor);
};

// The largest element as a scan from index 0 finds it, where a later element replaces the one
// kept only when it is strictly greater: a NaN never replaces it, a NaN at index 0 is the
// result, and of +0 and -0 the earlier one is kept. An empty volume gives 0.
float largestElement(const Volume& volume);

// largestElement of the volume of `elementCount` elements that holds values[i] at
// maskIndices[i] (ascending, inside the volume, one per value) and +0 everywhere else, found
// without building that volume.
float largestMaskedElement(const std::vector<float>& values,
                           const std::vector<std::int32_t>& maskIndices, std::size_t elementCount);

} // namespace qm
