// Opening an FMR project as the host's current document.
#pragma once

#include "HalvornPluginApi.h"

#include <string>

namespace halvorn_host {

// The host's header record of the FMR project at `path`, read with the project's FMR reader.
// Throws std::runtime_error naming the file when it cannot be read or is no FMR project: not a
// regular file, far too large for a header, or without any entry that gives a run its size.
FmrDocumentHeader readFmrDocumentHeader(const std::string& path);

} // namespace halvorn_host
