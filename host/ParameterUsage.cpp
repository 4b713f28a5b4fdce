#include "ParameterUsage.h"

namespace halvorn_host {
namespace {

constexpr const char* kTaskParameter = "task";

} // namespace

std::vector<std::string> parameterUsageWarnings(const std::map<std::string, std::string>& given,
                                                const std::set<std::string>& read,
                                                const std::set<std::string>& setByPlugin) {
    std::vector<std::string> warnings;
    for (const auto& [name, origin] : given) {
        if (name != kTaskParameter && !read.contains(name)) {
            warnings.push_back("parameter \"" + name + "\" (" + origin +
                               ") was given but the plug-in never read it");
        }
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
