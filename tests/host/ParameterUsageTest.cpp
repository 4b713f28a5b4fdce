#include "ParameterUsage.h"

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
