// The names given to Halvorn.exe checked against the plug-in: before the run, parameter names no
// task knows and task names the plug-in does not run (from its dialog script); after the run,
// the parameters given that a task which ran should have read but did not, and those read that
// nobody gave. Each usually means a misspelt name, which would otherwise switch an option off
// (or run nothing) without a word.
#pragma once

#include "DialogScript.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace halvorn_host {

// `given`: name -> where it was given ("FILE line N", "--set"). Returns one line per name no
// task of `dialog` knows, with "did you mean ...?" for a close known name, sorted by name,
// without the "Halvorn.exe: warning: " prefix. "task" is the host's own and never reported.
std::vector<std::string> unknownParameterWarnings(const std::map<std::string, std::string>& given,
                                                  const PluginDialog& dialog);

// One line per task of `tasks` that `dialog` does not describe, in order, with "did you mean
// ...?" for a close task name; without the "Halvorn.exe: error: " prefix. Empty when all are
// known.
std::vector<std::string> unknownTaskErrors(const std::vector<std::string>& tasks,
                                           const PluginDialog& dialog);

// After a run. `read`: names the plug-in read. `setByPlugin`: names the plug-in stored itself
// (such as "sdmfile"), which count as given. `expectedToBeRead`: when known (from the dialog
// script), the parameters the tasks that ran read; a given name that is not among them is not
// reported, because no task that ran would have read it. Without it every given name that was
// not read is reported. "task" is never reported. Returns one line per finding, without the
// "Halvorn.exe: warning: " prefix, unread ones first, each group sorted by name.
std::vector<std::string>
parameterUsageWarnings(const std::map<std::string, std::string>& given,
                       const std::set<std::string>& read, const std::set<std::string>& setByPlugin,
                       const std::optional<std::set<std::string>>& expectedToBeRead = std::nullopt);

} // namespace halvorn_host
