// After a run: the parameters given to Halvorn.exe that the plug-in never read, and those it
// read that nobody gave. Either usually means a misspelt name, which would otherwise switch an
// option off without a word.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace halvorn_host {

// `given`: name -> where it was given ("FILE line N", "--set"). `read`: names the plug-in read.
// `setByPlugin`: names the plug-in stored itself (such as "sdmfile"), which count as given.
// "task" is the host's own and never reported. Returns one line per finding, without the
// "Halvorn.exe: warning: " prefix, unread ones first, each group sorted by name.
std::vector<std::string> parameterUsageWarnings(const std::map<std::string, std::string>& given,
                                                const std::set<std::string>& read,
                                                const std::set<std::string>& setByPlugin);

} // namespace halvorn_host
