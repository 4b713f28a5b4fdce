// Reading the transcript of a run back into what the report tells: the motion design matrices
// the tasks worked on, and which of them each log line, plot and map belongs to.
#pragma once

#include "ReportRecord.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvorn_host {

// The motion design matrices an "sdmfile" value names, in the order the tasks handle them.
using MotionFileLister = std::function<std::vector<std::string>(const std::string& sdmfile)>;

// The SDM itself for a path ending in ".sdm", the SDMs listed in the MDM for ".mdm" (none when
// the MDM cannot be read), none otherwise.
std::vector<std::string> listMotionDesignMatrices(const std::string& sdmfile);

// The entries of a JSON Lines transcript. Throws std::runtime_error naming the file and line
// when it cannot be read or a line is not JSON.
std::vector<nlohmann::json> readTranscriptFile(const std::string& path);
// The same for the text of a transcript, `name` naming it in messages.
std::vector<nlohmann::json> readTranscriptText(const std::string& text, const std::string& name);

// Sorts the transcript's events into the session and its motion runs: one run per motion design
// matrix that the "sdmfile" a task read names, in the order named. A saved map belongs to the
// design matrix it was saved beside; the log lines and plots of a task that handled one design
// matrix belong to it (see finishTask in ReportTranscript.cpp for several).
SessionRecord recordSession(const std::vector<nlohmann::json>& entries,
                            const MotionFileLister& listMotionFiles);

// A float as the plug-in's log writes it: general notation, at most six significant digits.
std::string formatLikeLog(float value);

} // namespace halvorn_host
