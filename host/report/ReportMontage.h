// A picture of a displacement map for the report: its axial slices side by side, each voxel in
// the viridis colour scale from 0 to the map's largest value, with a colour bar in millimetres.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace halvorn_host {

struct MapGrid {
    std::array<std::int32_t, 3> dimensions{}; // columns, rows, slices
    std::array<float, 3> voxelSize{};         // millimetres; a slice keeps its in-plane aspect
    std::span<const float> values;            // x fastest, then y, then z
};

struct MontagePicture {
    std::string png; // the file's bytes
    int width = 0;
    int height = 0;
};

// Draws `map` under `heading` as a PNG. Voxels that are 0 or not finite (outside the brain mask)
// stay background; the scale runs from 0 to `scaleMaximum` (1 when it is not positive). Throws
// std::invalid_argument when the values do not fill the dimensions and std::runtime_error when
// cairo cannot draw it.
MontagePicture drawMapMontage(const MapGrid& map, float scaleMaximum, const std::string& heading);

} // namespace halvorn_host
