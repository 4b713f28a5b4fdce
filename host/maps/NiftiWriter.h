// Writing maps as a NIfTI-1 single-file image, with the field's own NIfTI library where the
// build has it and with the built-in writer (Nifti1File.cpp) where it does not; both give the
// same bytes.
#pragma once

#include "MapGeometry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace halvorn_host {

struct NiftiMapImage {
    std::array<std::int32_t, 3> dimensions{}; // columns, rows, slices
    std::array<float, 3> voxelSize{};         // millimetres
    NiftiPlacement placement;                 // where the voxels lie; unknown by default
    // One 3-D volume per map, each dimX * dimY * dimZ floats, x fastest, then y, then z.
    std::vector<std::span<const float>> volumes;
    float displayMin = 0.0F; // cal_min
    float displayMax = 0.0F; // cal_max
    std::string description; // cut to the format's 79 characters
};

// The number of floats in each of `image`'s volumes; throws std::invalid_argument for an image
// without volumes or grid, or with volumes of another size. Both writers check with it.
std::size_t checkedVolumeSize(const NiftiMapImage& image);

// Writes `image` to exactly `path` as float32: a 3-D image for one volume, a 4-D image for
// several; gzip-compressed when `path` ends in ".nii.gz" (only where writerCompresses()). The
// file is written through the project's atomic writer. Throws OutputFileError naming the path
// when the file cannot be written completely, std::invalid_argument when there is nothing to
// write (no volume, a dimension below 1, volumes of different sizes).
void writeNiftiMaps(const std::string& path, const NiftiMapImage& image);

// Whether this build can write ".nii.gz" files (it needs the NIfTI library's compression).
bool writerCompresses();

// Where maps that the host would save as `hostPath` go: NAME.nii, or NAME.nii.gz when
// `compressed`, for a `hostPath` NAME.map (".map" in any letter case); a path with another
// ending keeps it and gets ".nii" or ".nii.gz" appended. Readers and viewers go by the extension.
inline std::string niftiMapPath(const std::string& hostPath, bool compressed) {
    const std::string extension = compressed ? ".nii.gz" : ".nii";
    const auto isMap = [&] {
        if (hostPath.size() < 4) {
            return false;
        }
        std::string ending = hostPath.substr(hostPath.size() - 4);
        for (char& c : ending) {
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        return ending == ".map";
    };
    return (isMap() ? hostPath.substr(0, hostPath.size() - 4) : hostPath) + extension;
}

} // namespace halvorn_host
