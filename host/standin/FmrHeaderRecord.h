// The header record a host hands out for its current FMR document (ztGetHeaderOfCurrentFMR).
#pragma once

#include <halvorn/HalvornPluginApi.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace halvorn_host {

// The size of an FMR document's grid, as the header record gives it.
struct FmrGrid {
    std::int32_t volumes = 0;
    std::int32_t columns = 0; // dimX
    std::int32_t rows = 0;    // dimY
    std::int32_t slices = 0;  // dimZ
    float voxelSizeX = 0.0F;  // millimetres
    float voxelSizeY = 0.0F;
    float voxelSizeZ = 0.0F; // the distance between slice centres
};

// The longest document path the record holds, its terminator not counted.
inline constexpr std::size_t kLongestFmrPath = sizeof(FmrDocumentHeader::fmrPath) - 1;

// Throws std::runtime_error naming `path` when it is longer than kLongestFmrPath.
void checkFitsFmrHeader(std::string_view path);

// The record of the document at `path` with `grid`, every other byte 0; throws as
// checkFitsFmrHeader.
FmrDocumentHeader fmrHeaderRecord(std::string_view path, const FmrGrid& grid);

} // namespace halvorn_host
