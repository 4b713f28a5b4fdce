// Reading the transcript of a run back into what the report tells: which motion design matrix
// each log line, plot, spike and map belongs to.
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

// Sorts the transcript's events into the session and its motion runs. Within one task the
// plug-in handles its motion design matrices one after the other, and each one's events end
// with a closing log line (">  Saving SDMs" in "confound", ">  Saving Maps" in "displacement",
// followed by that task's map saves); the n-th group of events belongs to the n-th design
// matrix of the "sdmfile" the task read.
SessionRecord recordSession(const std::vector<nlohmann::json>& entries,
                            const MotionFileLister& listMotionFiles);

// The spike of a ">  Found spike at position I with displacement D mm" log text (after the
// plug-in's name); nothing for any other text.
std::optional<SpikeRow> parseSpikeLine(std::string_view text);

// A float as the plug-in's log writes it: general notation, at most six significant digits.
std::string formatLikeLog(float value);

} // namespace halvorn_host
