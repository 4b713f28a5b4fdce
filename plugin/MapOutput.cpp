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

} // namespace

void saveVolumeAsMap(const Volume& volume, float lowerValue, float upperValue,
                     const std::string& path) {
    callHost<HostFunction::ztCreateMAPForCurrentFMR>();
    MapHeader header{};
    float** const slices = callHost<HostFunction::ztGetMAPOfCurrentFMR>(&header);
    const VolumeDimensions& dim = volume.dim;
    checkMap(slices != nullptr, 52, "slices != nullptr");
    checkMap(dim.z == header.DimZ, 53, "dim.z == header.DimZ");
    checkMap(dim.y == header.DimY, 54, "dim.y == header.DimY");
    checkMap(dim.x == header.DimX, 55, "dim.x == header.DimX");

    // The host's slices are row by row like the volume's, so each slice is one contiguous block.
    const auto sliceSize = static_cast<std::size_t>(dim.x) * static_cast<std::size_t>(dim.y);
    for (std::int32_t z = 0; z < dim.z; ++z) {
        std::copy_n(volume.data.data() + sliceSize * static_cast<std::size_t>(z), sliceSize,
                    slices[z]);
    }

    header.mapKind = 1;
    header.lowerValue = lowerValue;
    header.upperValue = upperValue;
    header.field28 = 0;
    callHost<HostFunction::ztSetMAPParametersOfCurrentFMR>(&header);
    callHost<HostFunction::ztSaveMAPsOfCurrentFMR>(path.c_str());
}

} // namespace qm
