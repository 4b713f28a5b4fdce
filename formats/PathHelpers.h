// Splitting paths written with either separator ("/" or "\"), as the host's files hold both.
#pragma once

#include <string>

namespace qm {

// The text after the last "/" or "\"; the whole path when it has neither.
std::string fileNamePart(const std::string& path);

// The text up to and including the last "/" or "\"; empty when there is none.
std::string directoryPart(const std::string& path);

} // namespace qm

namespace qm {

// The path with `suffix` inserted before the extension of its file name: run1_3DMC.sdm and
// "_detr" give run1_3DMC_detr.sdm. Only the file-name part is searched for the ".", so a dot in
// a folder name never moves the output into another folder; a file name without one gets the
// suffix and ".sdm" appended.
std::string suffixedPath(const std::string& path, const std::string& suffix);

// The path without the extension of its file name (from its last "." on); the whole path when
// the file name has no ".".
std::string pathWithoutExtension(const std::string& path);

} // namespace qm
