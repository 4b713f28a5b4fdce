// Turning the path stored in "sdmfile" into the list of motion design matrices it names.
#pragma once

#include "DesignMatrix.h"
#include "MultiStudyDesignMatrix.h"

#include <string>
#include <vector>

namespace qm {

// True when `path` ends with "." and `extension`, letters compared without regard to case as the
// host's file system compares them: "RUN1_3DMC.SDM" is an SDM.
bool endsWithExtension(const std::string& path, const std::string& extension);

// One matrix for a path ending in ".sdm", one per listed SDM for ".mdm" (after the path repair,
// which asks `chooseFile` when the first listed SDM is missing). Every matrix is read and checked
// before the list is returned, so a task that loads first writes nothing for a bad one. Throws
// std::runtime_error with what to do when the path is empty (nothing was chosen), names neither
// an SDM nor an MDM, or names an MDM that lists no SDM, and when a matrix cannot hold motion
// parameters: fewer than 6 predictors, or fewer than 2 data points. The readers' errors pass
// through, among them a FileFormatError for a value that is not finite.
std::vector<DesignMatrix> loadMotionDesignMatrices(std::string path, const FileChooser& chooseFile);

} // namespace qm
