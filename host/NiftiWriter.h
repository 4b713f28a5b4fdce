// Writing maps as a NIfTI-1 single-file image with the field's own NIfTI library.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace halvorn_host {

struct NiftiMapImage {
    std::array<std::int32_t, 3> dimensions{}; // columns, rows, slices
    std::array<float, 3> voxelSize{};         // millimetres
    // One 3-D volume per map, each dimX * dimY * dimZ floats, x fastest, then y, then z.
    std::vector<const std::vector<float>*> volumes;
    float displayMin = 0.0F; // cal_min
    float displayMax = 0.0F; // cal_max
    std::string description; // cut to the format's 79 characters
};

// Writes `image` to exactly `path` (whatever its extension) as float32: a 3-D image for one
// volume, a 4-D image for several. The grid is centred on the scanner origin, in millimetres.
// Throws std::runtime_error naming the path when the file cannot be written completely.
void writeNiftiMaps(const std::string& path, const NiftiMapImage& image);

} // namespace halvorn_host
