// Choosing the motion design matrix, as a user of Halvorn.exe sees it: the file dialog, the
// volume-count warning and the stored "sdmfile".
#include "HostRun.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace qm::test {
namespace {

// A run of 4 volumes.
constexpr const char* kRunFmr =
    "\nFileVersion:          7\n\nNrOfVolumes:          4\nNrOfSlices:           2\n"
    "Prefix:               \"run\"\nResolutionX:          3\nResolutionY:          3\n"
    "InplaneResolutionX:   2.5\nInplaneResolutionY:   2.5\nSliceThickness:       3\n"
    "SliceGap:             1\n";

// A 3DMC SDM of `volumes` volumes in the host's layout.
std::string motionSdm(int volumes) {
    std::string text = "FileVersion:            1\r\n\r\nNrOfPredictors:         6\r\n"
                       "NrOfDataPoints:         " +
                       std::to_string(volumes) +
                       "\r\nIncludesConstant:       0\r\nFirstConfoundPredictor: 1\r\n\r\n"
                       "255 0 0   0 255 0   0 0 255   255 255 0   255 0 255   0 255 255\r\n"
                       "\"Translation X [mm]\" \"Translation Y [mm]\" "
                       "\"Translation Z [mm]\" \"Rotation X [deg]\" "
                       "\"Rotation Y [deg]\" \"Rotation Z [deg]\"\r\n";
    for (int t = 0; t < volumes; ++t) {
        text += "  0.010000  -0.020000   0.030000  -12.500000   123.000000   0.000000\r\n";
    }
    return text;
}

std::string mdmListing(const std::vector<std::string>& sdmPaths) {
    std::string text = "\r\nFileVersion:          3\r\nTypeOfFunctionalData: FMR\r\n\r\n"
                       "RFX-GLM:              0\r\n\r\nPSCTransformation:    1\r\n"
                       "zTransformation:      0\r\nSeparatePredictors:   0\r\n\r\n"
                       "NrOfStudies:          " +
                       std::to_string(sdmPaths.size()) + "\r\n";
    for (const auto& path : sdmPaths) {
        text += "\"run.fmr\"  \"" + path + "\"\r\n";
    }
    return text;
}

const std::string kMismatch = "FMR and _3DMC.sdm don't have the same number of volumes!";

class SelectSdm : public ::testing::Test {
protected:
    void SetUp() override { writeFile(dir.file("run.fmr"), kRunFmr); }

    HostRun select(const std::vector<std::string>& chosenFiles,
                   const std::vector<std::string>& more = {}) {
        // The task goes first: a repeated option such as --choose takes every value after it.
        std::vector<std::string> arguments = {"select_3dmcsdm", "--document", "run.fmr"};
        for (const auto& file : chosenFiles) {
            arguments.insert(arguments.end(), {"--choose", file});
        }
        arguments.insert(arguments.end(), more.begin(), more.end());
        return runHalvorn(arguments, dir.file(""));
    }

    // The values the task stored as "sdmfile", in order.
    static std::vector<std::string> storedSdmFiles(const HostRun& run) {
        std::vector<std::string> values;
        for (const auto& call : run.calls("ztSetStringParameter")) {
            if (call["name"] == "sdmfile") {
                values.push_back(call["value"]);
            }
        }
        return values;
    }

    TempDir dir;
};

TEST_F(SelectSdm, AMatchingSdmIsStoredWithoutAWord) {
    writeFile(dir.file("run_3DMC.sdm"), motionSdm(4));
    const HostRun run = select({dir.file("run_3DMC.sdm")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.messageBoxes().empty());
    EXPECT_EQ(storedSdmFiles(run), std::vector<std::string>{dir.file("run_3DMC.sdm")});

    const auto dialogs = run.calls("ztGetOpenFileName");
    ASSERT_EQ(dialogs.size(), 1U);
    EXPECT_EQ(dialogs[0]["title"], "Choose the 3DMC SDM you want to use:");
    EXPECT_EQ(dialogs[0]["directory"], "");
    EXPECT_EQ(dialogs[0]["filter"], "3D Motion Correction (*_3DMC.sdm *_3DMC.mdm)");
    EXPECT_TRUE(run.calls("ztShowBusyCursor").empty()) << "a dialog task runs without one";
    EXPECT_EQ(run.logTexts(), (std::vector<std::string>{"\nQuelmar>  Running...",
                                                        "\nQuelmar>  Plugin finished!\n"}))
        << "the task writes nothing to the log";
}

TEST_F(SelectSdm, AVolumeMismatchWarnsAndStillStoresThePath) {
    writeFile(dir.file("run_3DMC.sdm"), motionSdm(7));
    const HostRun run = select({"run_3DMC.sdm"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.messageBoxes(), std::vector<std::string>{kMismatch});
    EXPECT_EQ(storedSdmFiles(run), std::vector<std::string>{"run_3DMC.sdm"})
        << "stored byte for byte as chosen";
    // The warning comes after the document's header was read and before the path is stored.
    std::vector<std::string> order;
    for (const auto& entry : run.transcript) {
        if (entry.contains("call") && entry["call"] != "ztLogText") {
            order.push_back(entry["call"]);
        }
    }
    const std::vector<std::string> tail(order.end() - 4, order.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"ztGetOpenFileName", "ztGetHeaderOfCurrentFMR",
                                              "ztMessageBox", "ztSetStringParameter"}));
}

TEST_F(SelectSdm, CancellingKeepsTheEarlierChoice) {
    const HostRun run = select({}, {"--set", "sdmfile=old_3DMC.sdm"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.messageBoxes(), std::vector<std::string>{"Error: You must choose a valid file!"});
    EXPECT_TRUE(storedSdmFiles(run).empty());
    EXPECT_TRUE(run.calls("ztGetHeaderOfCurrentFMR").empty());
    ASSERT_EQ(run.calls("ztGetOpenFileName").size(), 1U);
    EXPECT_EQ(run.calls("ztGetOpenFileName")[0]["result"], 0);
}

TEST_F(SelectSdm, AnMdmIsComparedByItsFirstSdmOnly) {
    writeFile(dir.file("r1_3DMC.sdm"), motionSdm(4));
    writeFile(dir.file("r2_3DMC.sdm"), motionSdm(9));
    writeFile(dir.file("all_3DMC.mdm"),
              mdmListing({dir.file("r1_3DMC.sdm"), dir.file("r2_3DMC.sdm")}));
    const HostRun matching = select({dir.file("all_3DMC.mdm")});
    EXPECT_EQ(matching.exitCode, 0) << matching.err;
    EXPECT_TRUE(matching.messageBoxes().empty());
    EXPECT_EQ(storedSdmFiles(matching), std::vector<std::string>{dir.file("all_3DMC.mdm")});

    writeFile(dir.file("other_3DMC.mdm"),
              mdmListing({dir.file("r2_3DMC.sdm"), dir.file("r1_3DMC.sdm")}));
    const HostRun differing = select({dir.file("other_3DMC.mdm")});
    EXPECT_EQ(differing.messageBoxes(), std::vector<std::string>{kMismatch});
    EXPECT_EQ(storedSdmFiles(differing), std::vector<std::string>{dir.file("other_3DMC.mdm")});
}

TEST_F(SelectSdm, AnMdmWithAMovedFolderIsRepairedThroughASecondDialog) {
    std::filesystem::create_directories(dir.file("moved/s1"));
    writeFile(dir.file("moved/s1/run_3DMC.sdm"), motionSdm(4));
    writeFile(dir.file("group_3DMC.mdm"), mdmListing({"D:/data/s1/run_3DMC.sdm"}));
    const HostRun run = select({dir.file("group_3DMC.mdm"), dir.file("moved/s1/run_3DMC.sdm")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.messageBoxes().empty());
    const auto dialogs = run.calls("ztGetOpenFileName");
    ASSERT_EQ(dialogs.size(), 2U);
    EXPECT_EQ(dialogs[1]["title"], "SDM not found. Select run_3DMC.sdm manually.");
    EXPECT_EQ(dialogs[1]["directory"], dir.file(""));
    EXPECT_EQ(dialogs[1]["filter"], "Single Subject Desgin Matrix (run_3DMC.sdm)");
    EXPECT_NE(
        readFile(dir.file("group_3DMC.mdm")).find("\"" + dir.file("moved/s1/run_3DMC.sdm") + "\""),
        std::string::npos);
    EXPECT_EQ(storedSdmFiles(run), std::vector<std::string>{dir.file("group_3DMC.mdm")});
}

TEST_F(SelectSdm, AChoiceThatHoldsNoDesignMatrixIsRefused) {
    writeFile(dir.file("run_3DMC.SDM"), motionSdm(4));
    writeFile(dir.file("empty_3DMC.mdm"), mdmListing({}));
    writeFile(dir.file("broken_3DMC.sdm"), "FileVersion: 1\r\nNrOfPredictors: 6\r\n");
    const struct {
        std::string chosen;
        std::string message;
    } cases[] = {
        {"notes.txt", "Error: The file notes.txt is neither a single-study (.sdm) nor a "
                      "multi-study (.mdm) design matrix; choose the run's *_3DMC.sdm or "
                      "*_3DMC.mdm."},
        {"empty_3DMC.mdm", "Error: The MDM empty_3DMC.mdm lists no design matrix."},
        {"broken_3DMC.sdm", "Error: Invalid SDM file broken_3DMC.sdm: the header ends before "
                            "\"FirstConfoundPredictor:\""},
        {"missing_3DMC.sdm", "Error: Failed opening for reading: missing_3DMC.sdm"},
    };
    for (const auto& c : cases) {
        const HostRun run = select({c.chosen}, {"--set", "sdmfile=old_3DMC.sdm"});
        EXPECT_EQ(run.exitCode, 1) << c.chosen;
        EXPECT_EQ(run.messageBoxes(), std::vector<std::string>{c.message});
        EXPECT_TRUE(storedSdmFiles(run).empty()) << c.chosen;
    }
    // The host's file system ignores case: an upper-case extension names an SDM all the same.
    const HostRun upper = select({"run_3DMC.SDM"}, {});
    EXPECT_EQ(upper.exitCode, 0) << upper.err;
    EXPECT_EQ(storedSdmFiles(upper), std::vector<std::string>{"run_3DMC.SDM"});
}

} // namespace
} // namespace qm::test
