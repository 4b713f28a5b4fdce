#include "ParameterUsage.h"

#include "DialogScript.h"

#include <gtest/gtest.h>

namespace halvorn_host {
namespace {

TEST(ParameterUsage, EverythingGivenWasReadAndEverythingReadWasGiven) {
    EXPECT_TRUE(
        parameterUsageWarnings({{"plot_regular", "--set"}}, {"plot_regular", "task"}, {}).empty());
}

TEST(ParameterUsage, AMisspeltNameIsReportedBothWays) {
    const auto warnings =
        parameterUsageWarnings({{"create_spiks", "my.params line 4"}, {"plot_regular", "--set"}},
                               {"create_spikes", "plot_regular", "task"}, {});
    EXPECT_EQ(warnings,
              (std::vector<std::string>{
                  "parameter \"create_spiks\" (my.params line 4) was given but the plug-in never "
                  "read it",
                  "the plug-in read parameter \"create_spikes\", which was never given; it read "
                  "as \"\", 0 or 0.0"}));
}

TEST(ParameterUsage, TaskAndWhatThePluginStoredItselfAreNotReported) {
    // "task" given by hand is still the host's; "sdmfile" was stored by the selection task.
    EXPECT_TRUE(
        parameterUsageWarnings({{"task", "--set"}}, {"task", "sdmfile"}, {"sdmfile"}).empty());
}

TEST(ParameterUsage, WarningsComeSortedByName) {
    const auto warnings = parameterUsageWarnings({{"b", "--set"}, {"a", "--set"}}, {"d", "c"}, {});
    ASSERT_EQ(warnings.size(), 4U);
    EXPECT_NE(warnings[0].find("\"a\""), std::string::npos);
    EXPECT_NE(warnings[1].find("\"b\""), std::string::npos);
    EXPECT_NE(warnings[2].find("\"c\""), std::string::npos);
    EXPECT_NE(warnings[3].find("\"d\""), std::string::npos);
}

} // namespace
} // namespace halvorn_host

namespace halvorn_host {
namespace {

PluginDialog twoTaskDialog() {
    return parseDialogScript(R"js(var D = { sections: [
        { task: "select", parameters: [ { name: "path", access: "written" } ] },
        { task: "confound", parameters: [ { name: "spike_threshold" }, { name: "path" } ] },
        { task: "displacement", parameters: [ { name: "fmr_threshold" }, { name: "path" } ] } ] };)js",
                             "test.js");
}

TEST(ParameterUsage, NamesNoTaskKnowsAreReportedWithTheClosestKnownName) {
    const auto warnings = unknownParameterWarnings({{"spike_treshold", "--set"},
                                                    {"fmr_threshold", "a.params line 2"},
                                                    {"task", "--set"},
                                                    {"colour", "a.params line 3"}},
                                                   twoTaskDialog());
    EXPECT_EQ(warnings,
              (std::vector<std::string>{
                  "parameter \"colour\" (a.params line 3) is not a parameter of any task of the "
                  "plug-in",
                  "parameter \"spike_treshold\" (--set) is not a parameter of any task of the "
                  "plug-in; did you mean \"spike_threshold\"?"}));
}

TEST(ParameterUsage, TaskNamesThePluginDoesNotRunAreErrors) {
    EXPECT_TRUE(unknownTaskErrors({"select", "confound"}, twoTaskDialog()).empty());
    EXPECT_EQ(unknownTaskErrors({"confounds", "select", "", "plot"}, twoTaskDialog()),
              (std::vector<std::string>{
                  "the plug-in has no task \"confounds\"; did you mean \"confound\"?",
                  "the plug-in has no task \"\"", "the plug-in has no task \"plot\""}));
}

TEST(ParameterUsage, AParameterOfATaskThatDidNotRunIsNotReportedAsUnread) {
    const auto dialog = twoTaskDialog();
    const std::map<std::string, std::string> given = {
        {"spike_threshold", "--set"}, {"fmr_threshold", "--set"}, {"path", "--set"}};
    // Only the selection task ran: it stores "path" and reads nothing.
    EXPECT_TRUE(
        parameterUsageWarnings(given, {"task"}, {}, dialog.parametersReadBy({"select"})).empty());
    // The displacement task ran but did not read its threshold.
    EXPECT_EQ(parameterUsageWarnings(given, {"task", "path"}, {},
                                     dialog.parametersReadBy({"select", "displacement"})),
              (std::vector<std::string>{
                  "parameter \"fmr_threshold\" (--set) was given but the plug-in never read it"}));
}

} // namespace
} // namespace halvorn_host
