// Handing a volume to the host as a new map of the current FMR document, and saving it.
#pragma once

#include "Volume.h"

#include <string>

namespace qm {

// Throws std::logic_error "assertion failure (quelmar:LINE): CONDITION" when the host returns no
// map or a map of other dimensions.
void saveVolumeAsMap(const Volume& volume, float lowerValue, float upperValue,
                     const std::string& path);

} // namespace qm
