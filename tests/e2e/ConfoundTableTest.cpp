// The confound table through Halvorn.exe, as a user of another analysis package finds it: which
// files appear beside each motion file, which columns the table has in which order, what the
// sidecar says of them, and what happens when a table cannot be written. The values themselves
// are checked against an independent computation by tests/e2e/confound_table_check.py.
#include "HostRun.h"
#include "MotionFiles.h"
#include "TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace qm::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kMinimalFmr =
    "\nFileVersion:          7\n\nNrOfVolumes:          60\nNrOfSlices:           2\n"
    "Prefix:               \"run\"\nResolutionX:          3\nResolutionY:          3\n"
    "InplaneResolutionX:   2.5\nInplaneResolutionY:   2.5\nSliceThickness:       3\n"
    "SliceGap:             1\n";

const std::vector<MotionJump> kTwoJumps = {{20, 0, 0.8F}, {45, 3, 1.0F}};
const std::vector<std::string> kMotionColumns = {"trans_x", "trans_y", "trans_z",
                                                 "rot_x",   "rot_y",   "rot_z"};

struct Table {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
};

std::vector<std::string> cellsOf(const std::string& line) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (std::size_t tab = line.find('\t'); tab != std::string::npos;
         start = tab + 1, tab = line.find('\t', start)) {
        cells.push_back(line.substr(start, tab - start));
    }
    cells.push_back(line.substr(start));
    return cells;
}

// The table by its plain layout: LF-ended lines of tab-separated cells, the first the header.
Table readTable(const std::string& path) {
    const std::string text = readFile(path);
    Table table;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
        std::vector<std::string> cells = cellsOf(text.substr(start, end - start));
        if (table.header.empty()) {
            table.header = std::move(cells);
        } else {
            table.rows.push_back(std::move(cells));
        }
    }
    EXPECT_EQ(start, text.size()) << path << " does not end with a line end";
    return table;
}

nlohmann::ordered_json readSidecar(const std::string& path) {
    return nlohmann::ordered_json::parse(readFile(path));
}

// `parameters` followed by each family suffix, as the table names a family's columns.
std::vector<std::string> familyColumns(const std::vector<std::string>& parameters,
                                       const std::string& family) {
    std::vector<std::string> names;
    for (const std::string& parameter : parameters) {
        names.push_back(parameter + family);
    }
    return names;
}

std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

class ConfoundTable : public ::testing::Test {
protected:
    void SetUp() override { writeFile(dir.file("run.fmr"), kMinimalFmr); }

    std::string writeMotion(const std::string& relativePath, const std::vector<MotionRow>& rows) {
        const std::filesystem::path path = dir.path() / relativePath;
        std::filesystem::create_directories(path.parent_path());
        writeFile(path.string(), motionSdmText(rows));
        return relativePath;
    }

    HostRun runConfound(const std::vector<std::string>& settings) {
        std::vector<std::string> arguments = {"--document", "run.fmr"};
        for (const auto& setting : settings) {
            arguments.push_back("--set");
            arguments.push_back(setting);
        }
        arguments.push_back("confound");
        return runHalvorn(arguments, dir.file(""));
    }

    TempDir dir;
};

TEST_F(ConfoundTable, BothFilesLieBesideEachMotionFileOfAnMdm) {
    const std::string first = writeMotion("sub-01/run1_3DMC.sdm", driftingMotion(60, kTwoJumps));
    const std::string second =
        writeMotion("sub-02/run2_3DMC.sdm", driftingMotion(50, {{30, 1, -0.9F}}));
    writeFile(dir.file("study.mdm"), mdmText({dir.file(first), dir.file(second)}));

    const HostRun result = runConfound({"sdmfile=study.mdm", "create_table=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.messageBoxes().empty());
    EXPECT_EQ(filesIn(dir.file("sub-01")),
              (std::vector<std::string>{"run1_3DMC.sdm", "run1_3DMC_desc-confounds_timeseries.json",
                                        "run1_3DMC_desc-confounds_timeseries.tsv"}));
    EXPECT_EQ(filesIn(dir.file("sub-02")),
              (std::vector<std::string>{"run2_3DMC.sdm", "run2_3DMC_desc-confounds_timeseries.json",
                                        "run2_3DMC_desc-confounds_timeseries.tsv"}));

    const Table table = readTable(dir.file("sub-02/run2_3DMC_desc-confounds_timeseries.tsv"));
    EXPECT_EQ(table.header, joined({kMotionColumns, {"relative_rms", "framewise_displacement"}}));
    ASSERT_EQ(table.rows.size(), 50U);
    for (const auto& row : table.rows) {
        EXPECT_EQ(row.size(), table.header.size());
    }
    EXPECT_EQ(table.rows[0][6], "n/a");
    EXPECT_EQ(table.rows[0][7], "n/a");
    EXPECT_NE(table.rows[1][6], "n/a");
    EXPECT_EQ(readSidecar(dir.file("sub-02/run2_3DMC_desc-confounds_timeseries.json"))["Sources"],
              nlohmann::ordered_json::array({"run2_3DMC.sdm"}));
    // No log line of its own: the log is that of a run without the table.
    EXPECT_EQ(result.logTexts().size(), 4U);
}

TEST_F(ConfoundTable, OnlyTheFamiliesSwitchedOnAppearInTheOrderOfTheFiles) {
    const std::string sdm = writeMotion("run1_3DMC.sdm", driftingMotion(60, kTwoJumps));
    const HostRun result =
        runConfound({"sdmfile=" + sdm, "spike_threshold=0.4", "create_table=1", "create_spikes=1",
                     "create_delayed2sq=1", "create_derivative=1", "create_delayed1=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Table table = readTable(dir.file("run1_3DMC_desc-confounds_timeseries.tsv"));
    EXPECT_EQ(table.header, joined({kMotionColumns,
                                    {"relative_rms", "framewise_displacement"},
                                    familyColumns(kMotionColumns, "_derivative"),
                                    familyColumns(kMotionColumns, "_lag1"),
                                    familyColumns(kMotionColumns, "_lag2_power2"),
                                    {"motion_outlier00", "motion_outlier01"}}));
    ASSERT_EQ(table.rows.size(), 60U);
    for (std::size_t t = 0; t < 60; ++t) {
        EXPECT_EQ(table.rows[t][table.header.size() - 2], t == 20 ? "1" : "0") << t;
        EXPECT_EQ(table.rows[t][table.header.size() - 1], t == 45 ? "1" : "0") << t;
    }

    // Every family at once: all seven, in the order the SDM files are saved.
    const HostRun all =
        runConfound({"sdmfile=" + sdm, "create_table=1", "create_detrended=1",
                     "create_derivative=1", "create_squared=1", "create_delayed1=1",
                     "create_delayed1sq=1", "create_delayed2=1", "create_delayed2sq=1"});
    ASSERT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(readTable(dir.file("run1_3DMC_desc-confounds_timeseries.tsv")).header,
              joined({kMotionColumns,
                      {"relative_rms", "framewise_displacement"},
                      familyColumns(kMotionColumns, "_detrended"),
                      familyColumns(kMotionColumns, "_derivative"),
                      familyColumns(kMotionColumns, "_detrended_power2"),
                      familyColumns(kMotionColumns, "_lag1"),
                      familyColumns(kMotionColumns, "_lag2"),
                      familyColumns(kMotionColumns, "_lag1_power2"),
                      familyColumns(kMotionColumns, "_lag2_power2")}));
}

TEST_F(ConfoundTable, TheSidecarDescribesEveryColumnAndRecordsTheParameters) {
    const std::string sdm = writeMotion("run1_3DMC.sdm", driftingMotion(60, kTwoJumps));
    const HostRun result =
        runConfound({"sdmfile=" + sdm, "spike_threshold=0.4", "create_table=1", "create_spikes=1",
                     "create_squared=1", "spikes_after=1", "head_radius=50", "spike_measure=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Table table = readTable(dir.file("run1_3DMC_desc-confounds_timeseries.tsv"));
    const auto sidecar = readSidecar(dir.file("run1_3DMC_desc-confounds_timeseries.json"));

    std::vector<std::string> keys;
    for (const auto& [key, value] : sidecar.items()) {
        keys.push_back(key);
    }
    std::vector<std::string> expectedKeys = table.header;
    expectedKeys.insert(expectedKeys.end(),
                        {"Sources", "ColumnNames", "Parameters", "GeneratedBy"});
    EXPECT_EQ(keys, expectedKeys);
    for (const std::string& column : table.header) {
        SCOPED_TRACE(column);
        ASSERT_TRUE(sidecar[column].is_object());
        EXPECT_FALSE(sidecar[column].value("Description", "").empty());
        EXPECT_FALSE(sidecar[column].value("Units", "").empty());
    }
    EXPECT_EQ(sidecar["rot_y"]["Units"], "rad");
    EXPECT_EQ(sidecar["relative_rms"]["HeadRadius"], 50.0);
    EXPECT_THAT(sidecar["framewise_displacement"]["Description"].get<std::string>(),
                HasSubstr("detrended"));
    EXPECT_EQ(sidecar["framewise_displacement"]["RotationRadius"], 50.0);
    EXPECT_EQ(sidecar["trans_x_detrended_power2"]["Method"]["Power"], 2);
    EXPECT_EQ(sidecar["trans_x_detrended_power2"]["Method"]["Standardized"], true);
    EXPECT_EQ(sidecar["trans_x_detrended_power2"]["Units"], "standard deviations");
    EXPECT_EQ(sidecar["Parameters"], (nlohmann::ordered_json{{"create_spikes", 1},
                                                             {"spike_threshold", 0.4},
                                                             {"spike_measure", 1},
                                                             {"head_radius", 50.0},
                                                             {"spikes_before", 0},
                                                             {"spikes_after", 1}}));
    EXPECT_EQ(sidecar["GeneratedBy"][0]["Name"], "Quelmar");
    EXPECT_EQ(sidecar["GeneratedBy"][0]["Version"], "2.0");

    // Each spike column names its volume and the spike it belongs to.
    const auto& outlier = sidecar["motion_outlier01"];
    EXPECT_EQ(outlier["Volume"], 21);
    EXPECT_EQ(outlier["Spike"], 20);
    EXPECT_THAT(outlier["Description"].get<std::string>(), HasSubstr("\"Spike Volume 21\""));
}

TEST_F(ConfoundTable, AConstantParameterIsOnlyCentredAndSaysSoInItsUnits) {
    auto rows = driftingMotion(60, kTwoJumps);
    for (auto& row : rows) {
        row[5] = 0.125F; // the subject never turned about z
    }
    const std::string sdm = writeMotion("run1_3DMC.sdm", rows);
    const HostRun result = runConfound(
        {"sdmfile=" + sdm, "create_table=1", "create_derivative=1", "create_squared=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto sidecar = readSidecar(dir.file("run1_3DMC_desc-confounds_timeseries.json"));
    EXPECT_EQ(sidecar["rot_z_derivative"]["Method"]["Standardized"], false);
    EXPECT_EQ(sidecar["rot_z_derivative"]["Units"], "degrees per volume");
    EXPECT_EQ(sidecar["rot_z_detrended_power2"]["Units"], "degrees^2");
    EXPECT_EQ(sidecar["rot_y_derivative"]["Units"], "standard deviations");
}

TEST_F(ConfoundTable, PredictorsBeyondTheSixAreNamedExtraInTheirOrder) {
    // A motion file with a seventh predictor, as some pipelines add (here a slow signal).
    const auto rows = driftingMotion(30, {});
    std::string text =
        sdmHeaderText(7, 30) +
        "255 0 0   0 255 0   0 0 255   255 255 0   255 0 255   0 255 255   9 9 9\r\n";
    for (std::size_t p = 0; p < 6; ++p) {
        text += (p > 0 ? " \"" : "\"") + kMotionNames[p] + "\"";
    }
    text += " \"Global signal\"\r\n";
    for (std::size_t t = 0; t < rows.size(); ++t) {
        std::ostringstream line;
        for (const float value : rows[t]) {
            line << "  " << value;
        }
        line << "  " << (100.0 + static_cast<double>(t) * 0.5) << "\r\n";
        text += line.str();
    }
    writeFile(dir.file("run1_3DMC.sdm"), text);

    const HostRun result =
        runConfound({"sdmfile=run1_3DMC.sdm", "create_table=1", "create_detrended=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Table table = readTable(dir.file("run1_3DMC_desc-confounds_timeseries.tsv"));
    std::vector<std::string> parameters = kMotionColumns;
    parameters.push_back("extra_1");
    EXPECT_EQ(table.header, joined({parameters,
                                    {"relative_rms", "framewise_displacement"},
                                    familyColumns(parameters, "_detrended")}));
    ASSERT_EQ(table.rows.size(), 30U);
    EXPECT_EQ(table.rows[3][6], "101.5") << "the extra predictor as loaded";
    const auto sidecar = readSidecar(dir.file("run1_3DMC_desc-confounds_timeseries.json"));
    EXPECT_THAT(sidecar["extra_1"]["Description"].get<std::string>(),
                HasSubstr("predictor 7 (\"Global signal\") of run1_3DMC.sdm"));
    EXPECT_THAT(sidecar["ColumnNames"].get<std::string>(), HasSubstr("extra_1"));
}

TEST_F(ConfoundTable, ATableThatCannotBeWrittenStopsTheTaskAndKeepsTheSdmFiles) {
    const std::string sdm = writeMotion("run1_3DMC.sdm", driftingMotion(60, kTwoJumps));
    const std::string table = dir.file("run1_3DMC_desc-confounds_timeseries.tsv");
    std::filesystem::create_directory(table); // in the way
    const HostRun result = runConfound({"sdmfile=" + sdm, "create_table=1", "create_detrended=1"});
    EXPECT_EQ(result.exitCode, 1);
    ASSERT_EQ(result.messageBoxes().size(), 1U);
    EXPECT_THAT(result.messageBoxes()[0],
                StartsWith("Error: Cannot Create file: run1_3DMC_desc-confounds_timeseries.tsv"));
    EXPECT_EQ(filesIn(dir.file("")),
              (std::vector<std::string>{"run.fmr", "run1_3DMC.sdm",
                                        "run1_3DMC_desc-confounds_timeseries.tsv",
                                        "run1_3DMC_detr.sdm"}));
    EXPECT_TRUE(std::filesystem::is_directory(table));
}

} // namespace
} // namespace qm::test
