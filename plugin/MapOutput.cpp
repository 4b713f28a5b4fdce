#include "MapOutput.h"

#include "HostFunctionTable.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace qm {
namespace {

// The map checks report themselves as "assertion failure (quelmar:LINE): CONDITION". Users and
// their scripts know them by exactly these texts, so the location is fixed here instead of being
// taken from __FILE__ and __LINE__, which would change with every edit of this file.
void checkMap(bool condition, int line, const char* conditionText) {
    if (!condition) {
        throw std::logic_error("assertion failure (quelmar:" + std::to_string(line) +
                               "): " + conditionText);
    }
}

// Creates a map of the current FMR document, checks that the host made it with the volume's
// dimensions, lets `fillSlice(z, slice)` write slice z (dim.x·dim.y floats, row by row), sets the
// map's parameters and saves it. The host's slices may hold anything before they are filled.
template <typename FillSlice>
void handMapToHost(const VolumeDimensions& dim, float lowerValue, float upperValue,
                   const std::string& path, FillSlice fillSlice) {
    callHost<HostFunction::ztCreateMAPForCurrentFMR>();
    MapHeader header{};
    float** const slices = callHost<HostFunction::ztGetMAPOfCurrentFMR>(&header);
    checkMap(slices != nullptr, 52, "slices != nullptr");
    checkMap(dim.z == header.DimZ, 53, "dim.z == header.DimZ");
    checkMap(dim.y == header.DimY, 54, "dim.y == header.DimY");
    checkMap(dim.x == header.DimX, 55, "dim.x == header.DimX");

    for (std::int32_t z = 0; z < dim.z; ++z) {
        fillSlice(z, slices[z]);
    }

    header.mapKind = 1;
    header.lowerValue = lowerValue;
    header.upperValue = upperValue;
    header.field28 = 0;
    callHost<HostFunction::ztSetMAPParametersOfCurrentFMR>(&header);
    callHost<HostFunction::ztSaveMAPsOfCurrentFMR>(path.c_str());
}

std::size_t sliceSizeOf(const VolumeDimensions& dim) {
    return static_cast<std::size_t>(dim.x) * static_cast<std::size_t>(dim.y);
}

} // namespace

void saveVolumeAsMap(const Volume& volume, float lowerValue, float upperValue,
                     const std::string& path) {
    // The host's slices are row by row like the volume's, so each slice is one contiguous block.
    const std::size_t sliceSize = sliceSizeOf(volume.dim);
    handMapToHost(volume.dim, lowerValue, upperValue, path, [&](std::int32_t z, float* slice) {
        std::copy_n(volume.data.data() + sliceSize * static_cast<std::size_t>(z), sliceSize, slice);
    });
}

void saveMaskedValuesAsMap(const VolumeDimensions& dim,
                           const std::vector<std::int32_t>& maskIndices,
                           const std::vector<float>& values, float lowerValue, float upperValue,
                           const std::string& path) {
    // Slice by slice, so that each slice is still in the cache when its masked values arrive:
    // zeros first, then the values of the mask indices that fall into the slice.
    const std::size_t sliceSize = sliceSizeOf(dim);
    std::size_t next = 0;
    handMapToHost(dim, lowerValue, upperValue, path, [&](std::int32_t z, float* slice) {
        std::fill_n(slice, sliceSize, 0.0F);
        const std::size_t sliceStart = sliceSize * static_cast<std::size_t>(z);
        const std::size_t sliceEnd = sliceStart + sliceSize;
        for (; next < maskIndices.size(); ++next) {
            const auto index = static_cast<std::size_t>(maskIndices[next]);
            if (index >= sliceEnd) {
                break;
            }
            slice[index - sliceStart] = values[next];
        }
    });
}

} // namespace qm
