// The "confound" task as a user of Halvorn.exe sees it: which SDM files appear beside the motion
// file, what they hold, what the log says, and how errors are reported.
#include "HostRun.h"
#include "MotionFiles.h"
#include "TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <locale>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace qm::test {
namespace {

constexpr const char* kMinimalFmr =
    "\nFileVersion:          7\n\nNrOfVolumes:          60\nNrOfSlices:           2\n"
    "Prefix:               \"run\"\nResolutionX:          3\nResolutionY:          3\n"
    "InplaneResolutionX:   2.5\nInplaneResolutionY:   2.5\nSliceThickness:       3\n"
    "SliceGap:             1\n";

const std::string kRunning = "\nQuelmar>  Running...";
const std::string kSaving = "Quelmar>  Saving SDMs";
const std::string kDetecting = "Quelmar>  Detecting Spikes";
const std::string kFinished = "\nQuelmar>  Plugin finished!\n";

// A run with a 0.8 mm shift along x at volume 20 and a 1 degree turn about x at volume 45: with
// a threshold of 0.4 mm exactly these two volumes are spikes.
const std::vector<MotionJump> kTwoJumps = {{20, 0, 0.8F}, {45, 3, 1.0F}};

class ConfoundTask : public ::testing::Test {
protected:
    void SetUp() override { writeFile(dir.file("run.fmr"), kMinimalFmr); }

    // Writes a motion SDM at `relativePath` (folders created) and returns the path.
    std::string writeMotion(const std::string& relativePath, const std::vector<MotionRow>& rows) {
        const std::filesystem::path path = dir.path() / relativePath;
        std::filesystem::create_directories(path.parent_path());
        writeFile(path.string(), motionSdmText(rows));
        return relativePath;
    }

    // Runs the confound task with the given NAME=VALUE parameters in the test's folder.
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

bool matches(const std::string& text, const std::string& pattern) {
    return std::regex_match(text, std::regex(pattern));
}

TEST_F(ConfoundTask, EachOptionAloneWritesExactlyItsFile) {
    struct Option {
        const char* parameter;
        const char* suffix;
        const char* nameSuffix;
    };
    const Option options[] = {
        {"create_detrended", "_detr", " detrended"},
        {"create_derivative", "_deriv", " detrended derivative"},
        {"create_squared", "_sqr", " detrended squared"},
        {"create_delayed1", "_t1", " detrended t-1"},
        {"create_delayed2", "_t2", " detrended t-2"},
        {"create_delayed1sq", "_t1sqr", " detrended t-1 squared"},
        {"create_delayed2sq", "_t2sqr", " detrended t-2 squared"},
    };
    const auto rows = driftingMotion(60, kTwoJumps);
    for (const Option& option : options) {
        const std::string folder = option.parameter;
        const std::string sdm = writeMotion(folder + "/run1_3DMC.sdm", rows);
        const HostRun result = runConfound(
            {"sdmfile=" + sdm, "spike_threshold=0.4", std::string(option.parameter) + "=1"});

        EXPECT_EQ(result.exitCode, 0) << option.parameter << result.err;
        EXPECT_EQ(result.logTexts(), (std::vector<std::string>{kRunning, kSaving, kFinished}))
            << option.parameter;
        const std::string saved = std::string("run1_3DMC") + option.suffix + ".sdm";
        EXPECT_EQ(filesIn(dir.file(folder)), (std::vector<std::string>{"run1_3DMC.sdm", saved}))
            << option.parameter;

        const SdmContent content = readSdm(dir.file(folder + "/" + saved));
        EXPECT_EQ(content.header,
                  (std::map<std::string, std::int64_t>{{"FileVersion", 1},
                                                       {"NrOfPredictors", 6},
                                                       {"NrOfDataPoints", 60},
                                                       {"IncludesConstant", 0},
                                                       {"FirstConfoundPredictor", 1}}))
            << option.parameter;
        ASSERT_EQ(content.names.size(), 6U) << option.parameter;
        for (std::size_t p = 0; p < 6; ++p) {
            EXPECT_EQ(content.names[p], kMotionNames[p] + option.nameSuffix);
            EXPECT_EQ(content.colours[p], kMotionColours[p]);
            EXPECT_EQ(content.columns[p].size(), 60U);
        }
    }
    // No plot was asked for, so no picture either.
    std::vector<std::string> expectedTop = {"run.fmr"};
    for (const Option& option : options) {
        expectedTop.push_back(option.parameter);
    }
    std::sort(expectedTop.begin(), expectedTop.end());
    EXPECT_EQ(filesIn(dir.file("")), expectedTop);
}

TEST_F(ConfoundTask, WithEveryOptionOffOnlyTheSavingLineIsLoggedAndNothingIsWritten) {
    const std::string sdm = writeMotion("run1_3DMC.sdm", driftingMotion(60, kTwoJumps));
    const HostRun result = runConfound({"sdmfile=" + sdm, "spike_threshold=0.4"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.messageBoxes().empty());
    EXPECT_EQ(result.logTexts(), (std::vector<std::string>{kRunning, kSaving, kFinished}));
    EXPECT_EQ(filesIn(dir.file("")), (std::vector<std::string>{"run.fmr", "run1_3DMC.sdm"}));
}

TEST_F(ConfoundTask, TheOptionsAreReadInTheDialogsOrder) {
    const std::string sdm = writeMotion("run1_3DMC.sdm", driftingMotion(10, {}));
    const HostRun result = runConfound({"sdmfile=" + sdm});
    std::vector<std::string> names;
    for (const auto& entry : result.transcript) {
        if (entry.contains("call") && entry.contains("name") &&
            entry["call"].get<std::string>().rfind("ztGet", 0) == 0 && entry["name"] != "task") {
            names.push_back(entry["name"]);
        }
    }
    EXPECT_EQ(names, (std::vector<std::string>{
                         "spike_threshold", "spike_measure", "head_radius", "spikes_before",
                         "spikes_after", "create_detrended", "create_derivative", "create_spikes",
                         "create_squared", "create_delayed1", "create_delayed1sq",
                         "create_delayed2", "create_delayed2sq", "create_table", "plot_regular",
                         "plot_detrended", "sdmfile"}));
    EXPECT_EQ(result.calls("ztGetFloatParameter").size(), 2U);  // threshold and head radius
    EXPECT_EQ(result.calls("ztGetStringParameter").size(), 2U); // "task" and "sdmfile"
}

TEST_F(ConfoundTask, SpikeVolumesBecomePredictorsOfExactlyZeroAndOne) {
    const std::string sdm = writeMotion("run1_3DMC.sdm", driftingMotion(60, kTwoJumps));
    const HostRun result =
        runConfound({"sdmfile=" + sdm, "spike_threshold=0.4", "create_spikes=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const auto log = result.logTexts();
    ASSERT_EQ(log.size(), 6U);
    EXPECT_EQ(log[1], kDetecting);
    EXPECT_TRUE(matches(log[2], "Quelmar>  Found spike at position 20 with displacement "
                                "0\\.[4-9][0-9]* mm"))
        << log[2];
    EXPECT_TRUE(matches(log[3], "Quelmar>  Found spike at position 45 with displacement "
                                "0\\.[4-9][0-9]* mm"))
        << log[3];
    EXPECT_EQ(log[4], kSaving);

    EXPECT_EQ(filesIn(dir.file("")),
              (std::vector<std::string>{"run.fmr", "run1_3DMC.sdm", "run1_3DMC_spikes.sdm"}));
    SdmContent spikes = readSdm(dir.file("run1_3DMC_spikes.sdm"));
    EXPECT_EQ(spikes.header["NrOfPredictors"], 2);
    EXPECT_EQ(spikes.header["NrOfDataPoints"], 60);
    EXPECT_EQ(spikes.header["IncludesConstant"], 0);
    EXPECT_EQ(spikes.header["FirstConfoundPredictor"], 1);
    EXPECT_EQ(spikes.header["FileVersion"], 1);
    EXPECT_EQ(spikes.names, (std::vector<std::string>{"Spike Volume 20", "Spike Volume 45"}));
    EXPECT_EQ(spikes.colours, (std::vector<std::array<int, 3>>{{250, 250, 250}, {250, 250, 250}}));
    const std::size_t spikeVolumes[] = {20, 45};
    for (std::size_t s = 0; s < 2; ++s) {
        ASSERT_EQ(spikes.columns[s].size(), 60U);
        for (std::size_t t = 0; t < 60; ++t) {
            EXPECT_EQ(spikes.columns[s][t], t == spikeVolumes[s] ? 1.0 : 0.0) << s << " " << t;
        }
    }
}

TEST_F(ConfoundTask, WithoutSpikesNoSpikeFileIsWrittenButTheLogSaysSo) {
    const std::string sdm = writeMotion("run1_3DMC.sdm", driftingMotion(60, {}));
    const HostRun result =
        runConfound({"sdmfile=" + sdm, "spike_threshold=0.5", "create_spikes=1"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(
        result.logTexts(),
        (std::vector<std::string>{kRunning, kDetecting,
                                  "Quelmar>  No spikes found with displacement greater than 0.5 mm",
                                  kSaving, kFinished}));
    EXPECT_EQ(filesIn(dir.file("")), (std::vector<std::string>{"run.fmr", "run1_3DMC.sdm"}));
}

TEST_F(ConfoundTask, AnMdmOfTwoRunsGivesTwoSetsOfFilesEachBesideItsOwnSdm) {
    const std::string first = writeMotion("sub-01/run1_3DMC.sdm", driftingMotion(60, kTwoJumps));
    const std::string second =
        writeMotion("sub-02/run2_3DMC.sdm", driftingMotion(50, {{30, 1, -0.9F}}));
    writeFile(dir.file("study.mdm"), mdmText({dir.file(first), (dir.path() / second).string()}));

    const HostRun result = runConfound(
        {"sdmfile=study.mdm", "spike_threshold=0.4", "create_spikes=1", "create_detrended=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const auto log = result.logTexts();
    ASSERT_EQ(log.size(), 9U);
    EXPECT_EQ(log[1], kDetecting);
    EXPECT_TRUE(matches(log[2], "Quelmar>  Found spike at position 20 with .* mm")) << log[2];
    EXPECT_TRUE(matches(log[3], "Quelmar>  Found spike at position 45 with .* mm")) << log[3];
    EXPECT_EQ(log[4], kSaving);
    EXPECT_EQ(log[5], kDetecting);
    EXPECT_TRUE(matches(log[6], "Quelmar>  Found spike at position 30 with .* mm")) << log[6];
    EXPECT_EQ(log[7], kSaving);

    EXPECT_EQ(
        filesIn(dir.file("sub-01")),
        (std::vector<std::string>{"run1_3DMC.sdm", "run1_3DMC_detr.sdm", "run1_3DMC_spikes.sdm"}));
    EXPECT_EQ(
        filesIn(dir.file("sub-02")),
        (std::vector<std::string>{"run2_3DMC.sdm", "run2_3DMC_detr.sdm", "run2_3DMC_spikes.sdm"}));
    EXPECT_EQ(readSdm(dir.file("sub-02/run2_3DMC_detr.sdm")).header["NrOfDataPoints"], 50);
    EXPECT_EQ(readSdm(dir.file("sub-02/run2_3DMC_spikes.sdm")).names,
              std::vector<std::string>{"Spike Volume 30"});
}

TEST_F(ConfoundTask, AFolderWithADotInItsNameKeepsTheOutputInThatFolder) {
    const std::string sdm = writeMotion("a.b/run_3DMC.sdm", driftingMotion(30, {}));
    const HostRun result = runConfound({"sdmfile=" + sdm, "create_delayed1=1"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(filesIn(dir.file("a.b")),
              (std::vector<std::string>{"run_3DMC.sdm", "run_3DMC_t1.sdm"}));
    EXPECT_EQ(filesIn(dir.file("")), (std::vector<std::string>{"a.b", "run.fmr"}));
}

TEST_F(ConfoundTask, SavedFamiliesAreStandardisedOrOnlyCentred) {
    // The subject never turned about z: that column is constant, so in every family it is only
    // centred (all zeros). Every other column has mean 0 and either sample standard deviation 1
    // or, when its spread was below 0.0001 (the squares of tiny residuals), is only centred.
    auto rows = driftingMotion(60, kTwoJumps);
    for (auto& row : rows) {
        row[5] = 0.125F;
    }
    const std::string sdm = writeMotion("run1_3DMC.sdm", rows);
    const HostRun result = runConfound(
        {"sdmfile=" + sdm, "create_detrended=1", "create_derivative=1", "create_squared=1",
         "create_delayed1=1", "create_delayed2=1", "create_delayed1sq=1", "create_delayed2sq=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    int standardisedColumns = 0;
    for (const char* suffix : {"_detr", "_deriv", "_sqr", "_t1", "_t2", "_t1sqr", "_t2sqr"}) {
        const SdmContent content = readSdm(dir.file(std::string("run1_3DMC") + suffix + ".sdm"));
        ASSERT_EQ(content.columns.size(), 6U) << suffix;
        for (std::size_t p = 0; p < 6; ++p) {
            const auto& column = content.columns[p];
            ASSERT_EQ(column.size(), 60U);
            double sum = 0.0;
            for (const double value : column) {
                sum += value;
            }
            const double mean = sum / 60.0;
            double squares = 0.0;
            for (const double value : column) {
                squares += (value - mean) * (value - mean);
            }
            const double sd = std::sqrt(squares / 59.0);
            EXPECT_NEAR(mean, 0.0, 1e-5) << suffix << " column " << p;
            if (p == 5) {
                EXPECT_EQ(sd, 0.0) << suffix << " constant column " << p;
            } else if (std::abs(sd - 1.0) < 1e-4) {
                ++standardisedColumns;
            } else {
                EXPECT_LT(sd, 1e-4) << suffix << " column " << p << " is neither";
            }
        }
    }
    // Only the squares of the smallest residuals stay below the cut.
    EXPECT_GE(standardisedColumns, 7 * 5 - 6);
}

TEST_F(ConfoundTask, AnErrorIsShownAfterTheBusyCursorIsOff) {
    const HostRun result = runConfound({"sdmfile=missing.sdm", "create_detrended=1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.messageBoxes(),
              std::vector<std::string>{"Error: Failed opening for reading: missing.sdm"});
    EXPECT_EQ(result.err.rfind("Error: Failed opening for reading: missing.sdm\n", 0), 0U)
        << "the message box reaches stderr first";

    std::vector<std::string> sequence;
    for (const auto& entry : result.transcript) {
        if (entry.contains("host")) {
            sequence.push_back(entry["host"]);
            if (entry["host"] == "execute returned") {
                EXPECT_EQ(entry["result"], true);
            }
        } else if (entry["call"] != "ztGetIntParameter" && entry["call"] != "ztGetFloatParameter" &&
                   entry["call"] != "ztGetStringParameter" && entry["call"] != "ztLogText") {
            sequence.push_back(entry["call"]);
        }
    }
    const auto execute = std::find(sequence.begin(), sequence.end(), "execute");
    ASSERT_NE(execute, sequence.end());
    EXPECT_EQ(std::vector<std::string>(execute, execute + 5),
              (std::vector<std::string>{"execute", "ztShowBusyCursor", "ztStopBusyCursor",
                                        "ztMessageBox", "execute returned"}));
    EXPECT_EQ(filesIn(dir.file("")), std::vector<std::string>{"run.fmr"});
}

TEST_F(ConfoundTask, AFileThatCannotBeCreatedStopsTheTaskAndKeepsWhatWasSaved) {
    const std::string sdm = writeMotion("run1_3DMC.sdm", driftingMotion(60, kTwoJumps));
    std::filesystem::create_directory(dir.path() / "run1_3DMC_detr.sdm"); // in the way
    const HostRun result = runConfound({"sdmfile=" + sdm, "spike_threshold=0.4", "create_spikes=1",
                                        "create_detrended=1", "create_derivative=1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(
        result.messageBoxes(),
        std::vector<std::string>{"Error: Cannot Create file: run1_3DMC_detr.sdm (is a directory)"});
    EXPECT_EQ(filesIn(dir.file("")),
              (std::vector<std::string>{"run.fmr", "run1_3DMC.sdm", "run1_3DMC_detr.sdm",
                                        "run1_3DMC_spikes.sdm"}));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "run1_3DMC_detr.sdm"));
}

// Nothing to work on must never end like a run that worked.
TEST_F(ConfoundTask, APathThatNamesNoMotionMatrixIsRefusedSayingWhatToDo) {
    writeMotion("run1_3DMC.SDM", driftingMotion(20, {}));
    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        {"", "Error: No motion design matrix has been chosen (\"sdmfile\" is empty): run "
             "\"select_3dmcsdm\" first to choose the run's *_3DMC.sdm or *_3DMC.mdm."},
        {"run1.txt", "Error: The file run1.txt is neither a single-study (.sdm) nor a "
                     "multi-study (.mdm) design matrix; choose the run's *_3DMC.sdm or "
                     "*_3DMC.mdm."},
    };
    for (const auto& c : cases) {
        const HostRun result =
            runConfound({"sdmfile=" + c.path, "create_detrended=1", "plot_regular=1"});
        EXPECT_EQ(result.exitCode, 1) << c.path;
        EXPECT_EQ(result.messageBoxes(), std::vector<std::string>{c.message});
        EXPECT_EQ(result.logTexts(), (std::vector<std::string>{kRunning, kFinished})) << c.path;
        EXPECT_TRUE(result.calls("ztPlotLine").empty()) << c.path;
    }
    EXPECT_EQ(filesIn(dir.file("")), (std::vector<std::string>{"run.fmr", "run1_3DMC.SDM"}));

    // The host's file system ignores case: "RUN1_3DMC.SDM" is an SDM, and its outputs keep the
    // extension as written.
    const HostRun upper = runConfound({"sdmfile=run1_3DMC.SDM", "create_detrended=1"});
    EXPECT_EQ(upper.exitCode, 0) << upper.err;
    EXPECT_EQ(filesIn(dir.file("")),
              (std::vector<std::string>{"run.fmr", "run1_3DMC.SDM", "run1_3DMC_detr.SDM"}));
}

// Everything a user can see of a run besides the parameter reads: the files the task wrote, the
// log, and every host call but the parameter getters (plots, busy cursor, message boxes).
struct VisibleOutcome {
    std::map<std::string, std::string> files;
    std::vector<std::string> log;
    std::vector<std::string> hostCalls;
    bool operator==(const VisibleOutcome&) const = default;
};

VisibleOutcome visibleOutcome(const HostRun& run, const std::string& folder) {
    VisibleOutcome outcome;
    for (const std::string& file : filesIn(folder)) {
        outcome.files[file] = readFile(folder + "/" + file);
    }
    outcome.log = run.logTexts();
    for (const auto& entry : run.transcript) {
        if (entry.contains("call") && !entry["call"].get<std::string>().ends_with("Parameter")) {
            outcome.hostCalls.push_back(entry.dump());
        }
    }
    return outcome;
}

TEST_F(ConfoundTask, TheNewOptionsAtTheirUnsetValuesChangeNothingAUserSees) {
    const std::vector<std::string> everything = {
        "spike_threshold=0.4", "create_detrended=1", "create_derivative=1", "create_spikes=1",
        "create_squared=1",    "create_delayed1=1",  "create_delayed1sq=1", "create_delayed2=1",
        "create_delayed2sq=1", "plot_regular=1",     "plot_detrended=1"};
    const auto rows = driftingMotion(60, kTwoJumps);
    struct Variant {
        const char* folder;
        std::vector<std::string> settings;
    };
    const std::vector<Variant> variants = {
        {"without", {}},
        {"zero",
         {"create_table=0", "head_radius=0", "spike_measure=0", "spikes_before=0",
          "spikes_after=0"}},
        {"radius65", {"head_radius=65"}},
    };
    std::vector<VisibleOutcome> outcomes;
    for (const Variant& variant : variants) {
        const std::string folder = variant.folder;
        const std::string sdm = writeMotion(folder + "/run1_3DMC.sdm", rows);
        std::vector<std::string> settings = everything;
        settings.push_back("sdmfile=" + sdm);
        settings.insert(settings.end(), variant.settings.begin(), variant.settings.end());
        const HostRun result = runConfound(settings);
        ASSERT_EQ(result.exitCode, 0) << folder << result.err;
        outcomes.push_back(visibleOutcome(result, dir.file(folder)));
    }
    ASSERT_EQ(outcomes[0].files.size(), 9U) << "the motion file, seven families, the spikes";
    EXPECT_EQ(outcomes[0].log.size(), 6U);
    EXPECT_FALSE(outcomes[0].hostCalls.empty());
    for (std::size_t v = 1; v < outcomes.size(); ++v) {
        EXPECT_TRUE(outcomes[v] == outcomes[0]) << variants[v].folder << " differs";
    }
}

TEST_F(ConfoundTask, BadValuesOfTheNewOptionsAreRefusedBeforeAnyFileIsRead) {
    struct Case {
        std::string setting;
        std::string message;
    };
    const std::string radius =
        ": give the head radius in millimetres, more than 0 and at most 1000, or 0 for 65 mm.";
    const std::string measure = ": give 0 to compare the spike threshold with the relative RMS "
                                "displacement, or 1 for the framewise displacement.";
    const std::string volumes = ": give a number of volumes, 0 or more.";
    const std::vector<Case> cases = {
        {"head_radius=-5", "The parameter \"head_radius\" is -5" + radius},
        // "nan" and "inf" never reach the plug-in: Halvorn.exe refuses them as unreadable.
        {"head_radius=1000.5", "The parameter \"head_radius\" is 1000.5" + radius},
        {"spike_measure=2", "The parameter \"spike_measure\" is 2" + measure},
        {"spike_measure=-1", "The parameter \"spike_measure\" is -1" + measure},
        {"spikes_before=-1", "The parameter \"spikes_before\" is -1" + volumes},
        {"spikes_after=-3", "The parameter \"spikes_after\" is -3" + volumes},
    };
    // The motion file named is missing, so an error about it would show that it was looked for.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        const HostRun result = runConfound({"sdmfile=missing_3DMC.sdm", "create_detrended=1",
                                            "create_spikes=1", "create_table=1", c.setting});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.messageBoxes(), std::vector<std::string>{"Error: " + c.message});
        EXPECT_EQ(result.logTexts(), (std::vector<std::string>{kRunning, kFinished}));
    }
    EXPECT_EQ(filesIn(dir.file("")), std::vector<std::string>{"run.fmr"});

    // The largest radius allowed, and a radius of 0 for the default, pass.
    const std::string sdm = writeMotion("run1_3DMC.sdm", driftingMotion(20, {}));
    for (const std::string setting : {"head_radius=1000", "head_radius=0.5", "head_radius=-0"}) {
        const HostRun result = runConfound({"sdmfile=" + sdm, setting});
        EXPECT_EQ(result.exitCode, 0) << setting << result.err;
    }
}

TEST_F(ConfoundTask, TheVolumesAroundEachSpikeGetPredictorsAndLogLines) {
    const std::string sdm = writeMotion("run1_3DMC.sdm", driftingMotion(60, kTwoJumps));
    const HostRun result = runConfound({"sdmfile=" + sdm, "spike_threshold=0.4", "create_spikes=1",
                                        "spikes_before=1", "spikes_after=2"});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const auto log = result.logTexts();
    ASSERT_EQ(log.size(), 12U);
    EXPECT_EQ(log[1], kDetecting);
    EXPECT_EQ(log[2], "Quelmar>  Flagged volume 19 as neighbour of the spike at position 20");
    EXPECT_THAT(log[3], ::testing::StartsWith("Quelmar>  Found spike at position 20 with "));
    EXPECT_EQ(log[4], "Quelmar>  Flagged volume 21 as neighbour of the spike at position 20");
    EXPECT_EQ(log[5], "Quelmar>  Flagged volume 22 as neighbour of the spike at position 20");
    EXPECT_EQ(log[6], "Quelmar>  Flagged volume 44 as neighbour of the spike at position 45");
    EXPECT_THAT(log[7], ::testing::StartsWith("Quelmar>  Found spike at position 45 with "));
    EXPECT_EQ(log[8], "Quelmar>  Flagged volume 46 as neighbour of the spike at position 45");
    EXPECT_EQ(log[9], "Quelmar>  Flagged volume 47 as neighbour of the spike at position 45");
    EXPECT_EQ(log[10], kSaving);

    SdmContent spikes = readSdm(dir.file("run1_3DMC_spikes.sdm"));
    const std::vector<std::size_t> volumes = {19, 20, 21, 22, 44, 45, 46, 47};
    ASSERT_EQ(spikes.names.size(), volumes.size());
    EXPECT_EQ(spikes.header["NrOfPredictors"], 8);
    for (std::size_t k = 0; k < volumes.size(); ++k) {
        EXPECT_EQ(spikes.names[k], "Spike Volume " + std::to_string(volumes[k]));
        EXPECT_EQ(spikes.colours[k], (std::array<int, 3>{250, 250, 250}));
        for (std::size_t t = 0; t < 60; ++t) {
            EXPECT_EQ(spikes.columns[k][t], t == volumes[k] ? 1.0 : 0.0) << k << " " << t;
        }
    }
}

TEST_F(ConfoundTask, FramewiseDisplacementCanBeTheSpikeMeasure) {
    // Still but for a turn of 0.65 degrees about x at volume 30: about 0.46 mm of relative RMS
    // displacement and 0.55 mm of framewise displacement, on either side of 0.5 mm.
    std::vector<MotionRow> rows(60, MotionRow{0, 0, 0, 0, 0, 0});
    for (std::size_t t = 30; t < rows.size(); ++t) {
        rows[t][3] = 0.65F;
    }
    const std::string sdm = writeMotion("run1_3DMC.sdm", rows);
    const std::vector<std::string> settings = {"sdmfile=" + sdm, "spike_threshold=0.5",
                                               "create_spikes=1", "plot_detrended=1"};

    const HostRun byRms = runConfound(settings);
    ASSERT_EQ(byRms.exitCode, 0) << byRms.err;
    EXPECT_EQ(byRms.logTexts()[2],
              "Quelmar>  No spikes found with displacement greater than 0.5 mm");

    std::vector<std::string> framewise = settings;
    framewise.push_back("spike_measure=1");
    const HostRun byFramewise = runConfound(framewise);
    ASSERT_EQ(byFramewise.exitCode, 0) << byFramewise.err;
    const auto log = byFramewise.logTexts();
    ASSERT_EQ(log.size(), 5U);
    EXPECT_TRUE(matches(log[2], "Quelmar>  Found spike at position 30 with displacement "
                                "0\\.5[0-9]* mm"))
        << log[2];
    EXPECT_EQ(readSdm(dir.file("run1_3DMC_spikes.sdm")).names,
              std::vector<std::string>{"Spike Volume 30"});

    // The plot shows the series the spikes were found on.
    std::vector<std::string> lines;
    for (const auto& call : byFramewise.calls("ztAddLineToPlot")) {
        lines.push_back(call["name"]);
    }
    ASSERT_EQ(lines.size(), 7U);
    EXPECT_EQ(lines[5], "framewise displacement");
    EXPECT_EQ(lines[6], "Spike threshold");
    EXPECT_EQ(byRms.calls("ztAddLineToPlot")[5]["name"], "relative RMS displacement");
}

TEST_F(ConfoundTask, TheHeadRadiusChangesWhatARotationCounts) {
    // A turn of 1 degree about z moves a ball of 65 mm by about 0.72 mm and one of 40 mm by about
    // 0.44 mm (detrending takes a little off the step: 0.69 and 0.42 mm): with a threshold of
    // 0.6 mm only the larger head has a spike.
    std::vector<MotionRow> rows(40, MotionRow{0, 0, 0, 0, 0, 0});
    for (std::size_t t = 20; t < rows.size(); ++t) {
        rows[t][5] = 1.0F;
    }
    const std::string sdm = writeMotion("run1_3DMC.sdm", rows);
    for (const std::string radius : {"0", "65", "40"}) {
        const HostRun result = runConfound(
            {"sdmfile=" + sdm, "spike_threshold=0.6", "create_spikes=1", "head_radius=" + radius});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        if (radius == "40") {
            EXPECT_EQ(result.logTexts()[2],
                      "Quelmar>  No spikes found with displacement greater than 0.6 mm");
        } else {
            EXPECT_TRUE(matches(result.logTexts()[2],
                                "Quelmar>  Found spike at position 20 with displacement "
                                "0\\.69[0-9]* mm"))
                << radius << ": " << result.logTexts()[2];
        }
    }
}

// The "_detr" file computed here by hand from the formulas, in single precision and in their
// order (detrend, then standardise), and laid out as the host's SDM writer lays it out.
std::vector<float> detrended(std::vector<float> y) {
    const std::size_t n = y.size();
    float st = 0.0F;
    float sy = 0.0F;
    float sty = 0.0F;
    float stt = 0.0F;
    for (std::size_t t = 0; t < n; ++t) {
        const float tf = static_cast<float>(t);
        st += tf;
        sy += y[t];
        sty += tf * y[t];
        const int square = static_cast<int>(t) * static_cast<int>(t);
        stt += static_cast<float>(square);
    }
    const float nf = static_cast<float>(n);
    const float slope = (sty * nf - sy * st) / (stt * nf - st * st);
    const float intercept = (sy - slope * st) / nf;
    for (std::size_t t = 0; t < n; ++t) {
        const float line = static_cast<float>(t) * slope + intercept;
        y[t] = y[t] - line;
    }
    return y;
}

std::vector<float> standardised(std::vector<float> x) {
    const float nf = static_cast<float>(x.size());
    float sum = 0.0F;
    for (const float value : x) {
        sum += value;
    }
    const float mean = sum / nf;
    float squares = 0.0F;
    for (const float value : x) {
        const float deviation = value - mean;
        squares += deviation * deviation;
    }
    const float variance = squares / static_cast<float>(x.size() - 1);
    const float sd = std::sqrt(variance);
    const float divisor = sd < 0.0001F ? 1.0F : sd;
    for (float& value : x) {
        value = (value - mean) / divisor;
    }
    return x;
}

TEST_F(ConfoundTask, TheDetrendedFileMatchesAnIndependentComputationByteForByte) {
    // Seven volumes with a jump along x at volume 3, a turn about x at volume 5, and a constant
    // last column whose detrended residue is only centred.
    const std::vector<std::string> lines = {
        "  0.000000   0.000000   0.000000   0.000000   0.000000   0.250000",
        "  0.012340  -0.020000   0.031000   0.004000  -0.011000   0.250000",
        "  0.025000  -0.041200   0.060500   0.010200  -0.020100   0.250000",
        "  0.810000  -0.050000   0.091000   0.012000  -0.031000   0.250000",
        "  0.822000  -0.071300   0.118800   0.017700  -0.040200   0.250000",
        "  0.835100  -0.080400   0.152000   1.022000  -0.052000   0.250000",
        "  0.841900  -0.102000   0.179900   1.030100  -0.063300   0.250000",
    };
    std::string colourLine;
    std::string nameLine;
    std::string expectedNameLine;
    for (std::size_t p = 0; p < 6; ++p) {
        colourLine += (p > 0 ? "   " : "") + std::to_string(kMotionColours[p][0]) + " " +
                      std::to_string(kMotionColours[p][1]) + " " +
                      std::to_string(kMotionColours[p][2]);
        nameLine += (p > 0 ? " \"" : "\"") + kMotionNames[p] + "\"";
        expectedNameLine += (p > 0 ? " \"" : "\"") + kMotionNames[p] + " detrended\"";
    }
    std::string input = sdmHeaderText(6, 7) + colourLine + "\r\n" + nameLine + "\r\n";
    std::vector<std::vector<float>> columns(6);
    for (const std::string& line : lines) {
        input += line + "\r\n";
        std::istringstream tokens(line);
        std::string token;
        for (std::size_t p = 0; tokens >> token; ++p) {
            columns[p].push_back(parseFloat(token));
        }
    }
    writeFile(dir.file("run1_3DMC.sdm"), input);

    for (auto& column : columns) {
        column = standardised(detrended(column));
    }
    std::ostringstream expected;
    expected.imbue(std::locale::classic());
    expected << sdmHeaderText(6, 7) << colourLine << "\r\n" << expectedNameLine << "\r\n";
    expected << std::fixed;
    expected.precision(6);
    for (std::size_t t = 0; t < 7; ++t) {
        for (std::size_t p = 0; p < 6; ++p) {
            expected << (p == 0 ? " " : "  ") << (columns[p][t] >= 0.0F ? " " : "")
                     << static_cast<double>(columns[p][t]);
        }
        expected << "\r\n";
    }

    const HostRun result = runConfound({"sdmfile=run1_3DMC.sdm", "create_detrended=1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFile(dir.file("run1_3DMC_detr.sdm")), expected.str());
}

} // namespace
} // namespace qm::test
