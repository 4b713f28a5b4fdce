#include "DialogFiles.h"

#include "ParameterFile.h"
#include "TaskParameters.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace qm::tools {
namespace {

// The part of the script that describes `task`: from its section to the next one.
std::string sectionText(const std::string& script, std::string_view task) {
    const std::string start = "task: \"" + std::string(task) + "\"";
    const auto begin = script.find(start);
    if (begin == std::string::npos) {
        return {};
    }
    return script.substr(begin, script.find("task: \"", begin + start.size()) - begin);
}

TEST(DialogFiles, TheParameterFileHoldsEveryDefaultOnce) {
    const auto assignments =
        halvorn_host::parseParameterText(defaultParameterFile(), kDefaultParameterFileName);
    std::map<std::string, std::string> expected;
    for (const TaskParameter& parameter : kTaskParameters) {
        // The motion file's path is the user's own; it is only mentioned, commented out.
        if (parameter.kind != ParameterKind::String) {
            expected[std::string(parameter.name)] = std::string(parameter.defaultValue);
        }
    }
    std::map<std::string, std::string> written;
    for (const auto& assignment : assignments) {
        written[assignment.name] = assignment.value;
    }
    EXPECT_EQ(written, expected);
    EXPECT_EQ(assignments.size(), expected.size());
    EXPECT_NE(defaultParameterFile().find("\n#sdmfile=\n"), std::string::npos);
}

TEST(DialogFiles, EveryDefaultIsExplainedAboveItsLine) {
    const std::string file = defaultParameterFile();
    for (const TaskParameter& parameter : kTaskParameters) {
        const auto header = file.find("# " + std::string(parameter.name) + " (");
        ASSERT_NE(header, std::string::npos) << parameter.name;
        const auto why = file.find("# Why this default: ", header);
        const auto line = file.find("\n" + std::string(parameter.name) + "=", header);
        const auto next = file.find("\n\n", header);
        EXPECT_LT(why, next) << parameter.name;
        if (parameter.kind != ParameterKind::String) {
            EXPECT_LT(why, line) << parameter.name;
        }
    }
}

TEST(DialogFiles, EachScriptSectionListsItsTasksParametersInOrderWithDefaults) {
    const std::string script = dialogScript();
    for (const TaskDescription& task : kTaskDescriptions) {
        const std::string section = sectionText(script, task.name);
        ASSERT_FALSE(section.empty()) << task.name;
        std::size_t position = 0;
        int count = 0;
        for (const TaskParameter& parameter : kTaskParameters) {
            if (parameter.task != task.name) {
                continue;
            }
            ++count;
            const auto name = section.find("name: \"" + std::string(parameter.name) + "\"");
            ASSERT_NE(name, std::string::npos) << task.name << " " << parameter.name;
            EXPECT_GT(name, position) << parameter.name << " is out of order";
            position = name;
            const std::string defaultValue = parameter.kind == ParameterKind::String
                                                 ? "\"" + std::string(parameter.defaultValue) + "\""
                                                 : std::string(parameter.defaultValue);
            EXPECT_EQ(section.find("defaultValue: ", name),
                      section.find("defaultValue: " + defaultValue + ",", name))
                << parameter.name;
        }
        std::size_t names = 0;
        for (auto at = section.find("name: \""); at != std::string::npos;
             at = section.find("name: \"", at + 1)) {
            ++names;
        }
        EXPECT_EQ(names, static_cast<std::size_t>(count)) << task.name;
    }
}

TEST(DialogFiles, TheScriptNamesThePluginAndItsHelpPage) {
    const std::string script = dialogScript();
    EXPECT_NE(script.find("plugin: \"Quelmar\""), std::string::npos);
    EXPECT_NE(script.find("helpFile: \"HelpFolder/index.html\""), std::string::npos);
    EXPECT_NE(script.find("host.setStringParameter(\"task\", task);"), std::string::npos);
    EXPECT_NE(script.find("host.runPlugin();"), std::string::npos);
}

} // namespace
} // namespace qm::tools
