// Turning the path stored in "sdmfile" into the list of motion design matrices it names.
#pragma once

#include "DesignMatrix.h"
#include "MultiStudyDesignMatrix.h"

#include <string>
#include <vector>

namespace qm {

// True when `path` ends with "." and `extension`, compared byte for byte.
bool endsWithExtension(const std::string& path, const std::string& extension);

// One matrix for a path ending in ".sdm", one per listed SDM for ".mdm" (after the path repair,
// which asks `chooseFile` when the first listed SDM is missing), none otherwise.
std::vector<DesignMatrix> loadMotionDesignMatrices(std::string path, const FileChooser& chooseFile);

} // namespace qm
