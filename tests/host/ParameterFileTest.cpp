#include "ParameterFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halvorn_host {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs namesAndValues(const std::vector<ParameterAssignment>& assignments) {
    Pairs pairs;
    for (const auto& assignment : assignments) {
        pairs.emplace_back(assignment.name, assignment.value);
    }
    return pairs;
}

std::string errorOf(const std::string& text) {
    try {
        parseParameterText(text, "my.params");
    } catch (const ParameterFileError& error) {
        return error.what();
    }
    return "no error";
}

TEST(ParameterFile, ReadsAssignmentsBetweenCommentsAndBlankLines) {
    const auto assignments = parseParameterText("# defaults\n"
                                                "\n"
                                                "spike_threshold=0.5\r\n"
                                                "   # indented comment\n"
                                                "  create_spikes =  1  \n"
                                                "sdmfile=C:\\runs\\run 1#2_3DMC.sdm\n"
                                                "empty=\n"
                                                "\t\n"
                                                "last=a=b",
                                                "my.params");
    EXPECT_EQ(namesAndValues(assignments), (Pairs{{"spike_threshold", "0.5"},
                                                  {"create_spikes", "1"},
                                                  {"sdmfile", "C:\\runs\\run 1#2_3DMC.sdm"},
                                                  {"empty", ""},
                                                  {"last", "a=b"}}));
    EXPECT_EQ(assignments[0].origin, "my.params line 3");
    EXPECT_EQ(assignments[4].origin, "my.params line 9");
}

TEST(ParameterFile, AByteOrderMarkBeforeTheFirstLineIsNoPartOfTheName) {
    const auto assignments =
        parseParameterText("\xEF\xBB\xBFspike_threshold=0.5\r\nplot_regular=1\r\n", "my.params");
    EXPECT_EQ(namesAndValues(assignments),
              (Pairs{{"spike_threshold", "0.5"}, {"plot_regular", "1"}}));
}

TEST(ParameterFile, AnEmptyFileSetsNothing) {
    EXPECT_TRUE(parseParameterText("", "my.params").empty());
    EXPECT_TRUE(parseParameterText("# only a comment\n\n", "my.params").empty());
}

TEST(ParameterFile, MalformedLinesNameTheFileAndTheLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a=1\ncreate_spikes 1\n", "my.params:2: expected NAME=VALUE, got \"create_spikes 1\""},
        {"=1\n", "my.params:1: the line \"=1\" has no parameter name"},
        {"\n\ncreate spikes=1\n",
         "my.params:3: the parameter name \"create spikes\" contains a blank; expected NAME=VALUE"},
        {"a=1\n# b=2\nb=2\na=3\n", "my.params:4: a is already set on line 1"},
    };
    for (const auto& [text, message] : cases) {
        EXPECT_EQ(errorOf(text), message) << text;
    }
}

TEST(ParameterFile, ReadsAFileAndRefusesAMissingOne) {
    qm::test::TempDir dir;
    const std::string path = dir.file("defaults.params");
    qm::test::writeFile(path, "plot_regular=0\n");
    const auto assignments = readParameterFile(path);
    ASSERT_EQ(assignments.size(), 1U);
    EXPECT_EQ(assignments[0].origin, path + " line 1");

    try {
        readParameterFile(dir.file("missing.params"));
        FAIL() << "a missing file must be refused";
    } catch (const ParameterFileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "cannot open the parameter file " + dir.file("missing.params"));
    }
}

TEST(ParameterFile, SetTakesTheValueAsWritten) {
    const auto assignment = parseSetAssignment("sdmfile= a b ");
    EXPECT_EQ(assignment.name, "sdmfile");
    EXPECT_EQ(assignment.value, " a b ");
    EXPECT_EQ(assignment.origin, "--set");
    EXPECT_EQ(parseSetAssignment("x=").value, "");
    EXPECT_THROW(parseSetAssignment("=1"), std::invalid_argument);
    EXPECT_THROW(parseSetAssignment("plot_regular"), std::invalid_argument);
}

} // namespace
} // namespace halvorn_host
