// The confound table and its sidecar as files: names beside the design matrix, the tab-separated
// layout with "%.9g" numbers in any locale and "n/a" for what is not defined, valid JSON, and
// refusals of columns that cannot make a table.
#include "ConfoundTable.h"

#include "FormatsTestSupport.h"
#include "TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using ::testing::ThrowsMessage;

constexpr float kNotDefined = std::numeric_limits<float>::quiet_NaN();

std::string printfText(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

float floatFromBits(std::uint32_t bits) {
    float value = 0.0F;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

TEST(ConfoundTable, TheFilesLieBesideTheDesignMatrixNamedAfterIt) {
    struct Case {
        std::string sdm;
        std::string stem;
    };
    for (const Case& c : {Case{"run1_3DMC.sdm", "run1_3DMC"},
                          Case{"/data/sub-01/run1_3DMC.sdm", "/data/sub-01/run1_3DMC"},
                          Case{"C:\\data\\a.b\\run_3DMC.sdm", "C:\\data\\a.b\\run_3DMC"},
                          Case{"a.b/motion", "a.b/motion"}}) {
        const ConfoundTableFiles files = confoundTableFiles(c.sdm);
        EXPECT_EQ(files.table, c.stem + "_desc-confounds_timeseries.tsv") << c.sdm;
        EXPECT_EQ(files.sidecar, c.stem + "_desc-confounds_timeseries.json") << c.sdm;
    }
}

TEST(ConfoundTable, AHeaderRowThenOneTabSeparatedRowPerVolume) {
    const std::vector<ConfoundTableColumn> columns = {
        {"trans_x", {0.0F, 1.0F, -0.5F}},
        {"relative_rms", {kNotDefined, 0.1F, 1e-7F}},
        {"motion_outlier00", {0.0F, 1.0F, 0.0F}},
    };
    EXPECT_EQ(confoundTableText(columns), "trans_x\trelative_rms\tmotion_outlier00\n"
                                          "0\tn/a\t0\n"
                                          "1\t0.100000001\t1\n"
                                          "-0.5\t1.00000001e-07\t0\n");
    EXPECT_EQ(confoundTableText({{"only", {}}}), "only\n");
}

TEST(ConfoundTable, NumbersAreWhatPrintfWritesWithNineDigitsAndReadBackExactly) {
    std::vector<float> values = {0.0F,
                                 -0.0F,
                                 1.0F,
                                 123456789.0F,
                                 1e-5F,
                                 0.0001F,
                                 3.4028235e38F,
                                 1.17549435e-38F,
                                 1e-45F,
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity()};
    // A fixed spread of bit patterns over every exponent, signs included.
    std::uint32_t bits = 12345U;
    for (int i = 0; i < 200000; ++i) {
        bits = bits * 1664525U + 1013904223U;
        const float value = floatFromBits(bits);
        if (!std::isnan(value)) {
            values.push_back(value);
        }
    }
    std::string expected = "v\n";
    for (const float value : values) {
        expected += printfText(value) + "\n";
    }
    const std::string text = confoundTableText({{"v", values}});
    ASSERT_EQ(text, expected);

    // Each cell reads back as the same float.
    std::size_t start = 2;
    for (const float value : values) {
        const std::size_t end = text.find('\n', start);
        const float read = std::strtof(text.substr(start, end - start).c_str(), nullptr);
        ASSERT_EQ(std::memcmp(&read, &value, sizeof value), 0) << text.substr(start, end - start);
        start = end + 1;
    }
}

TEST(ConfoundTable, ADecimalCommaLocaleChangesNothing) {
    const std::vector<ConfoundTableColumn> columns = {{"a", {0.25F, 1.5F}}, {"b", {1e10F, -2.75F}}};
    const std::string classic = confoundTableText(columns);
    const DecimalCommaLocale german;
    if (!german.available) {
        GTEST_SKIP()
            << "the de_DE.UTF-8 locale is not installed (scripts/install-deps.sh makes it)";
    }
    EXPECT_EQ(confoundTableText(columns), classic);
    EXPECT_EQ(classic, "a\tb\n0.25\t1e+10\n1.5\t-2.75\n");
}

TEST(ConfoundTable, ColumnsThatCannotMakeATableAreRefused) {
    struct Case {
        const char* what;
        std::vector<ConfoundTableColumn> columns;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"lengths differ", {{"a", {1, 2}}, {"b", {1}}}, "\"b\" has 1 values where \"a\" has 2"},
        {"a name twice", {{"a", {1}}, {"a", {2}}}, "two columns named \"a\""},
        {"an empty name", {{"", {1}}}, "column name \"\""},
        {"a tab in a name", {{"a\tb", {1}}}, "holds a tab"},
        {"a line break in a name", {{"a\nb", {1}}}, "holds a tab, a line break"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_THAT([&] { confoundTableText(c.columns); },
                    ThrowsMessage<std::invalid_argument>(HasSubstr(c.message)));
    }
}

TEST(ConfoundTable, TheSidecarIsIndentedJsonInTheCallersOrder) {
    nlohmann::ordered_json sidecar;
    sidecar["trans_x"] = {{"Description", "Translation along x."}, {"Units", "mm"}};
    sidecar["Sources"] = {"run1_3DMC.sdm"};
    const std::string text = confoundSidecarText(sidecar);
    EXPECT_EQ(text, "{\n"
                    "  \"trans_x\": {\n"
                    "    \"Description\": \"Translation along x.\",\n"
                    "    \"Units\": \"mm\"\n"
                    "  },\n"
                    "  \"Sources\": [\n"
                    "    \"run1_3DMC.sdm\"\n"
                    "  ]\n"
                    "}\n");
}

TEST(ConfoundTable, BytesThatAreNotUtf8CannotBreakTheSidecar) {
    nlohmann::ordered_json sidecar;
    sidecar["Sources"] = {"M\xFCller_3DMC.sdm"}; // "Müller" in a Windows code page
    const std::string text = confoundSidecarText(sidecar);
    const auto parsed = nlohmann::json::parse(text, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded()) << text;
    EXPECT_EQ(parsed["Sources"][0], "M\xEF\xBF\xBDller_3DMC.sdm");
}

TEST(ConfoundTable, BothFilesAreWrittenAndReplaceEarlierOnes) {
    TempDir dir;
    const ConfoundTableFiles files = confoundTableFiles(dir.file("run1_3DMC.sdm"));
    writeFile(files.table, "old table");
    nlohmann::ordered_json sidecar;
    sidecar["a"] = {{"Units", "mm"}};
    writeConfoundTable(files, {{"a", {1.5F}}}, sidecar);
    EXPECT_EQ(readFile(files.table), "a\n1.5\n");
    EXPECT_EQ(readFile(files.sidecar), confoundSidecarText(sidecar));
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"run1_3DMC_desc-confounds_timeseries.json",
                                        "run1_3DMC_desc-confounds_timeseries.tsv"}));
}

TEST(ConfoundTable, AFileThatCannotBeWrittenIsNamedAndNoTemporaryFileStays) {
    TempDir dir;
    const ConfoundTableFiles files = confoundTableFiles(dir.file("run1_3DMC.sdm"));
    std::filesystem::create_directory(files.sidecar); // in the way
    nlohmann::ordered_json sidecar;
    sidecar["a"] = {{"Units", "mm"}};
    EXPECT_THAT(
        [&] {
            writeConfoundTable(files, {{"a", {1.5F}}}, sidecar);
        },
        ThrowsMessage<std::runtime_error>(StartsWith("Cannot Create file: " + files.sidecar)));
    EXPECT_TRUE(std::filesystem::is_directory(files.sidecar));
    EXPECT_EQ(filesIn(dir.path()),
              (std::vector<std::string>{"run1_3DMC_desc-confounds_timeseries.json",
                                        "run1_3DMC_desc-confounds_timeseries.tsv"}));

    // Columns that cannot make a table stop the writer before either file is touched.
    TempDir other;
    const ConfoundTableFiles untouched = confoundTableFiles(other.file("run1_3DMC.sdm"));
    EXPECT_THROW(writeConfoundTable(untouched, {{"a", {1}}, {"a", {2}}}, sidecar),
                 std::invalid_argument);
    EXPECT_TRUE(filesIn(other.path()).empty());
}

} // namespace
} // namespace qm::test
