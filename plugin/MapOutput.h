// Handing a volume to the host as a new map of the current FMR document, and saving it.
#pragma once

#include "Volume.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

// Throws std::logic_error "assertion failure (quelmar:LINE): CONDITION" when the host returns no
// map or a map of other dimensions.
void saveVolumeAsMap(const Volume& volume, float lowerValue, float upperValue,
                     const std::string& path);

// The same for the volume of dimensions `dim` that holds values[i] at maskIndices[i] (ascending,
// inside the volume, one per value) and +0 everywhere else: the same host calls, checks and
// map, written straight into the host's slices without building the volume.
void saveMaskedValuesAsMap(const VolumeDimensions& dim,
                           const std::vector<std::int32_t>& maskIndices,
                           const std::vector<float>& values, float lowerValue, float upperValue,
                           const std::string& path);

} // namespace qm
