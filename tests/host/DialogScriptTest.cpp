// The plug-in's tasks and parameters as Halvorn.exe reads them from its dialog script, and the
// "did you mean" suggestions for names it does not know.
#include "DialogScript.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halvorn_host {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(DialogScript, TheBuiltScriptDescribesTheThreeTasksAndWhatEachReads) {
    const PluginDialog dialog = readDialogScript(QUELMAR_DIALOG_SCRIPT);
    EXPECT_THAT(dialog.taskNames(), ElementsAre("select_3dmcsdm", "confound", "displacement"));
    ASSERT_EQ(dialog.tasks[0].parameters.size(), 1U);
    EXPECT_EQ(dialog.tasks[0].parameters[0].name, "sdmfile");
    EXPECT_FALSE(dialog.tasks[0].parameters[0].read) << "the selection task stores it";
    EXPECT_TRUE(dialog.parametersReadBy({"select_3dmcsdm"}).empty());
    const auto confound = dialog.parametersReadBy({"confound"});
    EXPECT_TRUE(confound.contains("spike_threshold"));
    EXPECT_TRUE(confound.contains("sdmfile"));
    EXPECT_FALSE(confound.contains("fmr_threshold"));
    EXPECT_TRUE(dialog.parametersReadBy({"displacement"}).contains("fmr_threshold"));
    const auto names = dialog.parameterNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "plot_regular"), 1) << "listed once";
}

TEST(DialogScript, TheLiteralIsReadWhateverItsSpellingAndNothingElseIs) {
    const PluginDialog dialog = parseDialogScript(R"js(
        // a comment with sections: [ { task: "not this" } ]
        var counter = { count: 0 };
        /* sections: ["nor this"] */
        const DIALOG = {
            plugin: 'Test', version: 1.5, helpFile: "a\"b.html",
            sections: [
                { 'task': 'first', parameters: [ { name: "alpha", kind: "float", access: "read",
                  defaultValue: -0.5, editable: true } ] },
                { task: "second", title: "x", parameters: [
                    { name: 'beta', kind: 'int', access: 'written' },
                    { name: "gamma", kind: "int", label: "with, comma and } brace" } ] },
                { title: "no task" }
            ]
        };
        function quelmarRunTask(host, task) { var x = {}; return x === task; }
    )js",
                                                  "test.js");
    EXPECT_THAT(dialog.taskNames(), ElementsAre("first", "second"));
    ASSERT_EQ(dialog.tasks[1].parameters.size(), 2U);
    EXPECT_FALSE(dialog.tasks[1].parameters[0].read);
    EXPECT_TRUE(dialog.tasks[1].parameters[1].read);
    EXPECT_EQ(dialog.tasks[0].parameters[0].kind, "float");
}

TEST(DialogScript, AScriptWithoutTasksOrFileIsRefusedByName) {
    for (const char* text : {"", "var x = { sections: [] };", "function f() { return 1; }",
                             "var x = { sections: [ { title: 'no task' } ] };"}) {
        try {
            parseDialogScript(text, "empty.js");
            ADD_FAILURE() << "accepted: " << text;
        } catch (const DialogScriptError& error) {
            EXPECT_THAT(error.what(), HasSubstr("the dialog script empty.js describes no task"));
        }
    }
    EXPECT_THROW(readDialogScript("no-such-script.js"), DialogScriptError);
}

TEST(ClosestName, SuggestsANameOneOrTwoSlipsAwayAndNothingFurther) {
    const std::vector<std::string> known = {"spike_threshold", "plot_regular", "map_max_abs",
                                            "map_mean_abs",    "confound",     "displacement"};
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"spike_treshold", "spike_threshold"}, // a letter left out
        {"plot_regulr", "plot_regular"},
        {"map_maxabs", "map_max_abs"},
        {"confounds", "confound"},        // one added
        {"cofnound", "confound"},         // two swapped
        {"Displacement", "displacement"}, // letter case
        {"DISPLACEMENT", "displacement"},
        {"map_men_abs", "map_mean_abs"},
        {"threshold", std::nullopt},
        {"xyz", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(closestName(name, known), expected) << name;
    }
}

} // namespace
} // namespace halvorn_host
