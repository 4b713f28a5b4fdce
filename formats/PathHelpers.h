// Splitting paths written with either separator ("/" or "\"), as the host's files hold both.
#pragma once

#include <string>

namespace qm {

// The text after the last "/" or "\"; the whole path when it has neither.
std::string fileNamePart(const std::string& path);

// The text up to and including the last "/" or "\"; empty when there is none.
std::string directoryPart(const std::string& path);

} // namespace qm
