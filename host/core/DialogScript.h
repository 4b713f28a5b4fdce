// The tasks and parameters of a plug-in as its dialog script describes them, read by
// Halvorn.exe so that it knows, without a copy of its own, which task names the plug-in runs and
// which parameters each task reads. The script describes its dialog as data: an object literal
// with a "sections" list, one section per task ("task": its name) with its "parameters" (each
// with "name", "kind" and "access": "read", or "written" for one the task stores itself).
#pragma once

#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace halvorn_host {

struct DialogParameter {
    std::string name;
    std::string kind; // "int", "float", "string"
    bool read = true; // false: the task stores it for later tasks ("written")
};

struct DialogTask {
    std::string name;
    std::vector<DialogParameter> parameters;
};

struct PluginDialog {
    std::string scriptPath;
    std::vector<DialogTask> tasks; // in the dialog's order

    bool hasTask(std::string_view name) const;
    std::vector<std::string> taskNames() const;
    // Every parameter name of every task, each once, in the dialog's order.
    std::vector<std::string> parameterNames() const;
    // The parameters that the tasks named in `tasks` read.
    std::set<std::string> parametersReadBy(const std::vector<std::string>& tasks) const;
};

// A dialog script that cannot be read or describes no task; the message names the file.
class DialogScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The dialog described by the script text; `path` names it in messages. Throws
// DialogScriptError when the text holds no object literal with a "sections" list of tasks.
PluginDialog parseDialogScript(std::string_view text, const std::string& path);

// Reads and parses the script at `path`; throws DialogScriptError.
PluginDialog readDialogScript(const std::string& path);

// The name of `candidates` closest to `name` (letter case aside) when it is close enough to be
// a slip of the keyboard: a character or two left out, added, changed or swapped. Ties go to
// the first candidate.
std::optional<std::string> closestName(const std::string& name,
                                       const std::vector<std::string>& candidates);

} // namespace halvorn_host
