// Opening an FMR project as the host's current document.
#pragma once

#include "FmrPosition.h"

#include <halvorn/HalvornPluginApi.h>

#include <optional>
#include <string>

namespace halvorn_host {

struct FmrDocument {
    FmrDocumentHeader header{};
    // Where the slices lie, when the FMR project's position information can place them.
    std::optional<FmrPosition> position;
    // Why position information the FMR project holds cannot place them; empty when it can or
    // when the project holds none.
    std::string positionProblem;
};

// The host's header record of the FMR project at `path`, read with the project's FMR reader.
// Throws std::runtime_error naming the file when it cannot be read or is no FMR project: not a
// regular file, far too large for a header, or without any entry that gives a run its size.
FmrDocumentHeader readFmrDocumentHeader(const std::string& path);

// The header record and the position information of the FMR project at `path`; throws as
// readFmrDocumentHeader.
FmrDocument readFmrDocument(const std::string& path);

} // namespace halvorn_host
