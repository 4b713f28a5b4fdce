#include "MotionLoader.h"

#include "FileErrors.h"
#include "FormatsTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm::test {
namespace {

TEST(EndsWithExtension, ComparesTheDotAndExtensionIgnoringTheCaseOfLetters) {
    const struct {
        const char* path;
        const char* extension;
        bool expected;
    } cases[] = {
        {"run1_3DMC.sdm", "sdm", true},
        {"D:\\a\\run.mdm", "mdm", true},
        {"run1_3DMC.SDM", "sdm", true},
        {"run1_3DMC.Mdm", "mdm", true},
        {"run1_3DMCsdm", "sdm", false},
        {"run.sdm.txt", "sdm", false},
        {".sdm", "sdm", true},
        {"sdm", "sdm", false},
        {"", "sdm", false},
        {"folder.sdm/run", "sdm", false},
        {"run.", "", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(endsWithExtension(c.path, c.extension), c.expected) << c.path;
    }
}

// Writes an SDM of six motion predictors whose first value is `tag` and that has `volumes`
// data points.
void writeMotionSdm(const std::string& path, int volumes, float tag) {
    DesignMatrix matrix;
    matrix.nrOfPredictors.value = 6;
    matrix.nrOfDataPoints.value = volumes;
    for (int p = 0; p < 6; ++p) {
        matrix.red.push_back(0);
        matrix.green.push_back(0);
        matrix.blue.push_back(0);
        matrix.predictorNames.push_back("P" + std::to_string(p));
        matrix.columns.emplace_back(static_cast<std::size_t>(volumes), static_cast<float>(p));
    }
    if (volumes > 0) {
        matrix.columns[0][0] = tag;
    }
    matrix.saveAs(path);
}

std::string mdmListing(const std::vector<std::string>& sdmPaths) {
    std::string text = "FileVersion: 3\nTypeOfFunctionalData: FMR\nNrOfStudies: " +
                       std::to_string(sdmPaths.size()) + "\n";
    for (const auto& path : sdmPaths) {
        text += "\"run.fmr\"  \"" + path + "\"\n";
    }
    return text;
}

class MotionLoader : public ::testing::Test {
protected:
    FileChooser answering(std::string answer) {
        return [this, answer](const std::string&, const std::string&, const std::string&) {
            ++dialogs;
            return answer;
        };
    }
    TempDir dir;
    int dialogs = 0;
};

TEST_F(MotionLoader, AnSdmGivesOneMatrixWhateverTheCaseOfItsExtension) {
    writeMotionSdm(dir.file("run1_3DMC.sdm"), 12, 1.5F);
    const auto one = loadMotionDesignMatrices(dir.file("run1_3DMC.sdm"), answering(""));
    ASSERT_EQ(one.size(), 1U);
    EXPECT_EQ(one[0].path, dir.file("run1_3DMC.sdm"));
    EXPECT_EQ(one[0].nrOfDataPoints.value, 12);
    EXPECT_EQ(one[0].columns[0][0], 1.5F);

    writeFile(dir.file("RUN_3DMC.SDM"), readFile(dir.file("run1_3DMC.sdm")));
    EXPECT_EQ(loadMotionDesignMatrices(dir.file("RUN_3DMC.SDM"), answering("")).size(), 1U);
    EXPECT_EQ(dialogs, 0);
}

std::string loadError(const std::string& path) {
    try {
        loadMotionDesignMatrices(path, [](const std::string&, const std::string&,
                                          const std::string&) { return std::string(); });
    } catch (const std::exception& error) {
        return error.what();
    }
    return "<loaded>";
}

// Nothing to work on must never look like success: the tasks would end without a word.
TEST_F(MotionLoader, APathThatNamesNoMotionMatrixSaysWhatToDo) {
    EXPECT_EQ(loadError(""), "No motion design matrix has been chosen (\"sdmfile\" is empty): run "
                             "\"select_3dmcsdm\" first to choose the run's *_3DMC.sdm or "
                             "*_3DMC.mdm.");
    EXPECT_EQ(loadError(dir.file("run1.fmr")),
              "The file " + dir.file("run1.fmr") +
                  " is neither a single-study (.sdm) nor a multi-study (.mdm) design matrix; "
                  "choose the run's *_3DMC.sdm or *_3DMC.mdm.");
    writeFile(dir.file("none.mdm"), mdmListing({}));
    EXPECT_EQ(loadError(dir.file("none.mdm")),
              "The MDM " + dir.file("none.mdm") + " lists no design matrix.");
}

TEST_F(MotionLoader, AMatrixThatCannotHoldMotionIsRefusedBeforeAnyIsReturned) {
    writeMotionSdm(dir.file("good.sdm"), 3, 1.0F);
    writeMotionSdm(dir.file("one.sdm"), 1, 1.0F);
    writeMotionSdm(dir.file("none.sdm"), 0, 1.0F);
    DesignMatrix five = DesignMatrix(dir.file("good.sdm"));
    for (auto* list : {&five.red, &five.green, &five.blue}) {
        list->pop_back();
    }
    five.predictorNames.pop_back();
    five.columns.pop_back();
    five.nrOfPredictors.value = 5;
    five.saveAs(dir.file("five.sdm"));

    EXPECT_EQ(loadError(dir.file("one.sdm")),
              "The motion design matrix " + dir.file("one.sdm") +
                  " holds 1 data point; the motion tasks need at least 2 volumes.");
    EXPECT_EQ(loadError(dir.file("none.sdm")),
              "The motion design matrix " + dir.file("none.sdm") +
                  " holds 0 data points; the motion tasks need at least 2 volumes.");
    EXPECT_EQ(loadError(dir.file("five.sdm")),
              "The motion design matrix " + dir.file("five.sdm") +
                  " has 5 predictors; motion parameters need 6 (three translations, three "
                  "rotations).");
    writeFile(dir.file("two.mdm"), mdmListing({dir.file("good.sdm"), dir.file("one.sdm")}));
    EXPECT_EQ(loadError(dir.file("two.mdm")),
              "The motion design matrix " + dir.file("one.sdm") +
                  " holds 1 data point; the motion tasks need at least 2 volumes.");
}

TEST_F(MotionLoader, AValueThatIsNotFiniteIsRefusedNamingItsLineAndPredictor) {
    writeMotionSdm(dir.file("run_3DMC.sdm"), 4, 1.0F);
    const std::string good = readFile(dir.file("run_3DMC.sdm"));
    for (const std::string value : {"nan", "-inf", "infinity", "nan(123)", "INF"}) {
        std::string bad = good;
        // Predictor 4 of the third data line (line 11): the first "3.000000" of that line.
        const std::size_t line11 = bad.find("0.000000", bad.find("\"P5\"") + 40);
        const std::size_t at = bad.find("3.000000", line11);
        bad.replace(at, 8, value);
        writeFile(dir.file("run_3DMC.sdm"), bad);
        EXPECT_EQ(loadError(dir.file("run_3DMC.sdm")),
                  "Invalid SDM file " + dir.file("run_3DMC.sdm") + ", line 11: the value \"" +
                      value +
                      "\" of predictor 4 (\"P3\") is not a finite number; motion parameters must "
                      "be finite")
            << value;
    }
}

TEST_F(MotionLoader, AnMdmGivesItsSdmsInOrderWhateverTheirLengths) {
    writeMotionSdm(dir.file("r1.sdm"), 10, 1.0F);
    writeMotionSdm(dir.file("r2.sdm"), 20, 2.0F);
    writeMotionSdm(dir.file("r3.sdm"), 5, 3.0F);
    writeFile(dir.file("all.mdm"),
              mdmListing({dir.file("r1.sdm"), dir.file("r2.sdm"), dir.file("r3.sdm")}));
    const auto matrices = loadMotionDesignMatrices(dir.file("all.mdm"), answering(""));
    ASSERT_EQ(matrices.size(), 3U);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(matrices[i].path, dir.file("r" + std::to_string(i + 1) + ".sdm"));
        EXPECT_EQ(matrices[i].columns[0][0], static_cast<float>(i + 1));
    }
    EXPECT_EQ(matrices[1].nrOfDataPoints.value, 20);
    EXPECT_EQ(dialogs, 0);
}

TEST_F(MotionLoader, AMovedFolderIsRepairedAndSavedBeforeItsSdmsAreRead) {
    std::filesystem::create_directories(dir.file("new/s1"));
    std::filesystem::create_directories(dir.file("new/s2"));
    writeMotionSdm(dir.file("new/s1/run_3DMC.sdm"), 8, 1.0F);
    writeMotionSdm(dir.file("new/s2/run_3DMC.sdm"), 9, 2.0F);
    writeFile(dir.file("group.mdm"),
              mdmListing({"/gone/old/s1/run_3DMC.sdm", "/gone/old/s2/run_3DMC.sdm"}));
    const auto matrices =
        loadMotionDesignMatrices(dir.file("group.mdm"), answering(dir.file("new/s1/run_3DMC.sdm")));
    EXPECT_EQ(dialogs, 1);
    ASSERT_EQ(matrices.size(), 2U);
    EXPECT_EQ(matrices[1].path, dir.file("new/s2/run_3DMC.sdm"));
    EXPECT_EQ(matrices[1].nrOfDataPoints.value, 9);
    EXPECT_EQ(MultiStudyDesignMatrix(dir.file("group.mdm")).designMatrixFiles,
              (std::vector<std::string>{dir.file("new/s1/run_3DMC.sdm"),
                                        dir.file("new/s2/run_3DMC.sdm")}));
}

TEST_F(MotionLoader, ReadingErrorsOfAnyListedSdmLeaveTheLoader) {
    writeFile(dir.file("group.mdm"), mdmListing({"/gone/old/s1/run_3DMC.sdm"}));
    try {
        loadMotionDesignMatrices(dir.file("group.mdm"), answering(""));
        FAIL() << "no error";
    } catch (const OpenFileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Failed opening for reading: /gone/old/s1/run_3DMC.sdm");
    }
    EXPECT_EQ(dialogs, 1) << "the user was asked and cancelled";

    writeMotionSdm(dir.file("good.sdm"), 3, 1.0F);
    writeFile(dir.file("bad.sdm"), "FileVersion: 1\n");
    writeFile(dir.file("two.mdm"), mdmListing({dir.file("good.sdm"), dir.file("bad.sdm")}));
    EXPECT_THROW(loadMotionDesignMatrices(dir.file("two.mdm"), answering("")), FileFormatError);
    EXPECT_THROW(loadMotionDesignMatrices(dir.file("missing.mdm"), answering("")), OpenFileError);
}

} // namespace
} // namespace qm::test
