#include "ParameterUsage.h"

#include <algorithm>

namespace halvorn_host {
namespace {

constexpr const char* kTaskParameter = "task";

std::string suggestion(const std::string& name, const std::vector<std::string>& known) {
    const auto closest = closestName(name, known);
    return closest ? "; did you mean \"" + *closest + "\"?" : std::string();
}

} // namespace

std::vector<std::string> unknownParameterWarnings(const std::map<std::string, std::string>& given,
                                                  const PluginDialog& dialog) {
    const std::vector<std::string> known = dialog.parameterNames();
    std::vector<std::string> warnings;
    for (const auto& [name, origin] : given) {
        if (name == kTaskParameter || std::find(known.begin(), known.end(), name) != known.end()) {
            continue;
        }
        warnings.push_back("parameter \"" + name + "\" (" + origin +
                           ") is not a parameter of any task of the plug-in" +
                           suggestion(name, known));
    }
    return warnings;
}

std::vector<std::string> unknownTaskErrors(const std::vector<std::string>& tasks,
                                           const PluginDialog& dialog) {
    std::vector<std::string> errors;
    for (const auto& task : tasks) {
        if (!dialog.hasTask(task)) {
            errors.push_back("the plug-in has no task \"" + task + "\"" +
                             suggestion(task, dialog.taskNames()));
        }
    }
    return errors;
}

std::vector<std::string>
parameterUsageWarnings(const std::map<std::string, std::string>& given,
                       const std::set<std::string>& read, const std::set<std::string>& setByPlugin,
                       const std::optional<std::set<std::string>>& expectedToBeRead) {
    std::vector<std::string> warnings;
    for (const auto& [name, origin] : given) {
        if (name == kTaskParameter || read.contains(name) ||
            (expectedToBeRead && !expectedToBeRead->contains(name))) {
            continue;
        }
        warnings.push_back("parameter \"" + name + "\" (" + origin +
                           ") was given but the plug-in never read it");
    }
    for (const auto& name : read) {
        if (name != kTaskParameter && !given.contains(name) && !setByPlugin.contains(name)) {
            warnings.push_back("the plug-in read parameter \"" + name +
                               "\", which was never given; it read as \"\", 0 or 0.0");
        }
    }
    return warnings;
}

} // namespace halvorn_host
