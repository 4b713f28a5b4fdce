// Opening an FMR project as the host's current document.
#pragma once

#include "HalvornPluginApi.h"

#include <string>

namespace halvorn_host {

// The host's header record of the FMR project at `path`, read with the project's FMR reader.
// Throws std::runtime_error naming the file when it cannot be read.
FmrDocumentHeader readFmrDocumentHeader(const std::string& path);

} // namespace halvorn_host
