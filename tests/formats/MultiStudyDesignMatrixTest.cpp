#include "MultiStudyDesignMatrix.h"

#include "AtomicFileWriter.h"
#include "FileErrors.h"
#include "FormatsTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace qm::test {
namespace {

using Paths = std::vector<std::string>;

// Answers the repair dialog and remembers how it was asked.
struct RecordingChooser {
    std::string answer; // empty: the user cancels
    std::vector<std::array<std::string, 3>> questions;

    FileChooser chooser() {
        return [this](const std::string& title, const std::string& directory,
                      const std::string& filter) {
            questions.push_back({title, directory, filter});
            return answer;
        };
    }
};

// An MDM as a user's folder holds it: values not in column 23, LF line ends.
std::string mdmText(const std::string& type, const std::string& studies, int nrOfStudies) {
    return "\nFileVersion:     3\nTypeOfFunctionalData:  " + type +
           "\n\nRFX-GLM:  1\n\nPSCTransformation: 1\nzTransformation: 0\n"
           "SeparatePredictors: 2\n\nNrOfStudies:    " +
           std::to_string(nrOfStudies) + "\n" + studies;
}

class MultiStudyDesignMatrixFile : public ::testing::Test {
protected:
    void TearDown() override { setAtomicWriteFaultHookForTesting({}); }
    MultiStudyDesignMatrix readText(const std::string& text) {
        writeFile(mdmPath, text);
        return MultiStudyDesignMatrix(mdmPath);
    }
    TempDir dir;
    std::string mdmPath = dir.file("group_3DMC.mdm");
};

TEST_F(MultiStudyDesignMatrixFile, ReadsTheStudiesAndWritesTheHostLayout) {
    const std::string studies = "\"D:/a/b/s1/run.fmr\"  \"D:/a/b/s1/run_3DMC.sdm\"\n"
                                "\"D:/a/b/s2/run.fmr\" \"D:/a/b/s2/run_3DMC.sdm\"\n";
    for (const std::string& text :
         {mdmText("FMR", studies, 2), withCrLf(mdmText("FMR", studies, 2))}) {
        const MultiStudyDesignMatrix mdm = readText(text);
        EXPECT_EQ(mdm.path, mdmPath);
        EXPECT_EQ(mdm.fileVersion, 3);
        EXPECT_EQ(mdm.typeOfFunctionalData, "FMR");
        EXPECT_EQ(mdm.rfxGlm, 1);
        EXPECT_EQ(mdm.pscTransformation, 1);
        EXPECT_EQ(mdm.zTransformation, 0);
        EXPECT_EQ(mdm.separatePredictors, 2);
        EXPECT_EQ(mdm.nrOfStudies, 2);
        EXPECT_TRUE(mdm.extraFiles.empty());
        EXPECT_EQ(mdm.functionalDataFiles, (Paths{"D:/a/b/s1/run.fmr", "D:/a/b/s2/run.fmr"}));
        EXPECT_EQ(mdm.designMatrixFiles,
                  (Paths{"D:/a/b/s1/run_3DMC.sdm", "D:/a/b/s2/run_3DMC.sdm"}));
        EXPECT_EQ(mdm.fileContent(), "\r\n"
                                     "FileVersion:          3\r\n"
                                     "TypeOfFunctionalData: FMR\r\n\r\n"
                                     "RFX-GLM:              1\r\n\r\n"
                                     "PSCTransformation:    1\r\n"
                                     "zTransformation:      0\r\n"
                                     "SeparatePredictors:   2\r\n\r\n"
                                     "NrOfStudies:          2\r\n"
                                     "\"D:/a/b/s1/run.fmr\"  \"D:/a/b/s1/run_3DMC.sdm\"\r\n"
                                     "\"D:/a/b/s2/run.fmr\"  \"D:/a/b/s2/run_3DMC.sdm\"\r\n");
    }
}

TEST_F(MultiStudyDesignMatrixFile, MtcStudiesHoldTwoOrThreePaths) {
    MultiStudyDesignMatrix mdm = readText(mdmText("MTC",
                                                  "\"x1.vmr\"  \"f1.mtc\"  \"s1.sdm\"\n"
                                                  "\"f2.mtc\"  \"s2.sdm\"\n"
                                                  "\"x3.vmr\"  \"f3.mtc\"  \"s3.sdm\"\n",
                                                  3));
    EXPECT_EQ(mdm.extraFiles, (Paths{"x1.vmr", "x3.vmr"}));
    EXPECT_EQ(mdm.functionalDataFiles, (Paths{"f1.mtc", "f2.mtc", "f3.mtc"}));
    EXPECT_EQ(mdm.designMatrixFiles, (Paths{"s1.sdm", "s2.sdm", "s3.sdm"}));
    // Lists of different lengths: each extra file stays on its own study's line.
    const std::string text = mdm.fileContent();
    EXPECT_EQ(text.substr(text.find("NrOfStudies:")), "NrOfStudies:          3\r\n"
                                                      "\"x1.vmr\"  \"f1.mtc\"  \"s1.sdm\"\r\n"
                                                      "\"f2.mtc\"  \"s2.sdm\"\r\n"
                                                      "\"x3.vmr\"  \"f3.mtc\"  \"s3.sdm\"\r\n");
    mdm.save();
    const MultiStudyDesignMatrix back(mdmPath);
    EXPECT_EQ(back.extraFiles, mdm.extraFiles);
    EXPECT_EQ(back.functionalDataFiles, mdm.functionalDataFiles);
    EXPECT_EQ(back.extraFileStudies, (std::vector<std::size_t>{0, 2}));
}

TEST_F(MultiStudyDesignMatrixFile, BlankLinesAmongTheStudiesArePassedOver) {
    const MultiStudyDesignMatrix mdm =
        readText(mdmText("FMR", "\n\"f1.fmr\"  \"s1.sdm\"\n  \t\r\n\"f2.fmr\"  \"s2.sdm\"\n\n", 2));
    EXPECT_EQ(mdm.designMatrixFiles, (Paths{"s1.sdm", "s2.sdm"}));
    EXPECT_EQ(mdm.firstUnusedLine, 0U) << "blank lines hold nothing to lose";
}

TEST_F(MultiStudyDesignMatrixFile, AByteOrderMarkBeforeTheHeaderIsPassedOver) {
    const MultiStudyDesignMatrix mdm =
        readText("\xEF\xBB\xBF"
                 "FileVersion: 3\nNrOfStudies: 1\n\"f1.fmr\"  \"s1.sdm\"\n");
    EXPECT_EQ(mdm.fileVersion, 3);
    EXPECT_EQ(mdm.firstUnusedLine, 0U);
    EXPECT_EQ(mdm.designMatrixFiles, Paths{"s1.sdm"});
}

// Text the reader passes over would be lost when the file is written back after a repair.
TEST_F(MultiStudyDesignMatrixFile, TheFirstLineWithTextTheReaderDoesNotUseIsKnown) {
    const std::string study = "\"f1.fmr\"  \"s1.sdm\"\n";
    const struct {
        std::string text;
        std::size_t line;
    } cases[] = {
        {mdmText("FMR", study, 1), 0},
        {"FileVersion: 3\nNewEntry: 7\nNrOfStudies: 1\n" + study, 2},
        {"FileVersion: 3\nNrOfStudies: 1  # one run\n" + study, 2},
        {"NrOfStudies: 1\n\"f1.fmr\"  \"s1.sdm\"  # subject 1\n", 2},
        {"NrOfStudies: 1\n" + study + "\n\"f2.fmr\"  \"s2.sdm\"\n", 4},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readText(c.text).firstUnusedLine, c.line) << c.text;
    }
}

TEST_F(MultiStudyDesignMatrixFile, ExtraHeaderEntriesDoNotHideTheStudies) {
    const MultiStudyDesignMatrix mdm = readText(
        "\nFileVersion: 3\nTypeOfFunctionalData: FMR\nNewEntry: 7\nAnotherOne: \"text\"\n\n"
        "RFX-GLM: 0\nPSCTransformation: 1\nzTransformation: 1\nSeparatePredictors: 0\n"
        "NrOfStudies: 1\n\"f1.fmr\"  \"s1.sdm\"\n");
    EXPECT_EQ(mdm.nrOfStudies, 1);
    EXPECT_EQ(mdm.zTransformation, 1);
    EXPECT_EQ(mdm.designMatrixFiles, Paths{"s1.sdm"});
}

TEST_F(MultiStudyDesignMatrixFile, AnEmptyTypeDoesNotTakeTheNextKey) {
    MultiStudyDesignMatrix mdm = readText("FileVersion: 3\nTypeOfFunctionalData:\nRFX-GLM: 1\n"
                                          "NrOfStudies: 1\n\"f1.fmr\"  \"s1.sdm\"\n");
    EXPECT_EQ(mdm.typeOfFunctionalData, "");
    EXPECT_EQ(mdm.rfxGlm, 1);
    mdm.save();
    const MultiStudyDesignMatrix back(mdmPath);
    EXPECT_EQ(back.typeOfFunctionalData, "");
    EXPECT_EQ(back.rfxGlm, 1);
    EXPECT_EQ(back.designMatrixFiles, Paths{"s1.sdm"});
}

TEST_F(MultiStudyDesignMatrixFile, AStudyCountLargerThanTheFileIsReadUpToItsEnd) {
    const std::string studies = "\"f1.fmr\"  \"s1.sdm\"\n\"f2.fmr\"  \"s2.sdm\"\n";
    EXPECT_EQ(readText(mdmText("FMR", studies, 1)).designMatrixFiles, Paths{"s1.sdm"});
    EXPECT_EQ(readText(mdmText("FMR", studies, 2)).designMatrixFiles, (Paths{"s1.sdm", "s2.sdm"}));
    EXPECT_EQ(readText(mdmText("FMR", "\"f1.fmr\"  \"s1.sdm\"", 1)).designMatrixFiles,
              Paths{"s1.sdm"})
        << "a complete last line needs no line end";
}

// A header value that is not a number, or a file cut short, would leave studies out without a
// word; the analysis tasks would then do nothing and report no error.
struct BrokenMdm {
    const char* what;
    std::string text;
    std::string problem; // after "Invalid MDM file <path>"
};

TEST_F(MultiStudyDesignMatrixFile, ABrokenHeaderOrACutFileIsAFormatErrorWithItsLine) {
    const std::string study = "\"f1.fmr\"  \"s1.sdm\"\n";
    const std::vector<BrokenMdm> cases = {
        {"word as version", "FileVersion: x\nNrOfStudies: 1\n" + study,
         ", line 1: the value of \"FileVersion:\" is not a whole number"},
        {"word as count", "FileVersion: 3\n\nNrOfStudies:\tone\n" + study,
         ", line 3: the value of \"NrOfStudies:\" is not a whole number"},
        {"count beyond 32 bits", "NrOfStudies: 99999999999\n" + study,
         ", line 1: the value of \"NrOfStudies:\" is not a whole number"},
        {"negative count", "NrOfStudies: -2\n" + study,
         ", line 1: NrOfStudies is -2; a count cannot be negative"},
        {"value missing at the end", "SeparatePredictors:",
         ", line 1: the value of \"SeparatePredictors:\" is not a whole number"},
        {"no count", "FileVersion: 3\n" + study, ": the header ends before \"NrOfStudies:\""},
        {"empty file", "", ": the header ends before \"NrOfStudies:\""},
        {"cut after a line", mdmText("FMR", study, 3),
         ": the file ends after 1 of the 3 study lines that NrOfStudies announces"},
        {"huge count", mdmText("FMR", study, 2000000000),
         ": the file ends after 1 of the 2000000000 study lines that NrOfStudies announces"},
        {"cut inside the last line", mdmText("FMR", study + "\"f2.fmr\"  \"s2.s", 2),
         ", line 13: the file ends inside study line 2 of 2"},
        {"one path", mdmText("FMR", "\"only-one.fmr\"\n" + study, 2),
         ", line 12: this study line holds 2 double quotes; it must hold two quoted paths, the "
         "study's data file and its SDM"},
        {"words", mdmText("FMR", study + "not a study line\n", 2),
         ", line 13: this study line holds 0 double quotes; it must hold two quoted paths, the "
         "study's data file and its SDM"},
        {"an open quote", mdmText("FMR", "\"f1.fmr\"  \"s1.sdm\n" + study, 2),
         ", line 12: this study line holds 3 double quotes; it must hold two quoted paths, the "
         "study's data file and its SDM"},
        {"three paths outside MTC", mdmText("FMR", "\"x1.vmr\"  \"f1.fmr\"  \"s1.sdm\"\n", 1),
         ", line 12: this study line holds 6 double quotes; it must hold two quoted paths, the "
         "study's data file and its SDM"},
        {"four paths in MTC", mdmText("MTC", "\"a\" \"b\" \"c\" \"d\"\n", 1),
         ", line 12: this study line holds 8 double quotes; it must hold two or three quoted paths "
         "(a data file and the study's SDM, or an extra file, a data file and the SDM)"},
        {"no SDM", mdmText("FMR", "\"f1.fmr\"  \"\"\n", 1),
         ", line 12: this study line names no SDM (its last path is empty)"},
    };
    for (const auto& broken : cases) {
        writeFile(mdmPath, broken.text);
        try {
            MultiStudyDesignMatrix{mdmPath};
            ADD_FAILURE() << broken.what << ": no error";
        } catch (const FileFormatError& error) {
            EXPECT_EQ(std::string(error.what()), "Invalid MDM file " + mdmPath + broken.problem)
                << broken.what;
        }
    }
}

TEST_F(MultiStudyDesignMatrixFile, AMissingFileIsAnOpenFileError) {
    try {
        MultiStudyDesignMatrix{dir.file("missing.mdm")};
        FAIL() << "no error";
    } catch (const OpenFileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Failed opening for reading: " + dir.file("missing.mdm"));
    }
}

TEST_F(MultiStudyDesignMatrixFile, NumbersIgnoreADecimalCommaLocale) {
    const std::string text = mdmText("FMR", "\"f1.fmr\"  \"s1.sdm\"\n", 1);
    const std::string classicContent = readText(text).fileContent();
    const DecimalCommaLocale german;
    if (!german.available) {
        GTEST_SKIP() << "the machine has no de_DE.UTF-8 locale";
    }
    const MultiStudyDesignMatrix mdm = readText(text);
    EXPECT_EQ(mdm.fileContent(), classicContent);
    mdm.save();
    EXPECT_EQ(readFile(mdmPath), classicContent);
}

// The example of a moved data folder: D:/a/b/s1/run_3DMC.sdm found as E:/c/s1/run_3DMC.sdm.
struct RepairCase {
    std::string separator;
    std::string typeOfData;
};

void PrintTo(const RepairCase& repairCase, std::ostream* out) {
    *out << repairCase.separator << " " << repairCase.typeOfData;
}

class PathRepair : public MultiStudyDesignMatrixFile,
                   public ::testing::WithParamInterface<RepairCase> {
protected:
    // "D:/a/b/s1" written with the case's separator.
    std::string p(std::string path) const {
        for (auto& c : path) {
            if (c == '/') {
                c = GetParam().separator[0];
            }
        }
        return path;
    }
};

TEST_P(PathRepair, PathsInTheMovedFolderTreeFollowTheChosenFile) {
    const bool mtc = GetParam().typeOfData == "MTC";
    const auto line = [&](const std::string& folder, const std::string& name) {
        const std::string extra = mtc ? "\"" + p(folder + "/anat.vmr") + "\"  " : "";
        return extra + "\"" + p(folder + "/" + name + ".fmr") + "\"  \"" +
               p(folder + "/" + name + "_3DMC.sdm") + "\"\n";
    };
    writeFile(mdmPath, mdmText(GetParam().typeOfData,
                               line("D:/a/b/s1", "run") + line("D:/a/b/s2", "run") +
                                   line("X:/other/s3", "run") + line("D:/a/bc/s4", "run"),
                               4));
    MultiStudyDesignMatrix mdm(mdmPath);
    RecordingChooser user{p("E:/c/s1/run_3DMC.sdm"), {}};
    EXPECT_TRUE(mdm.repairPaths(user.chooser()));

    ASSERT_EQ(user.questions.size(), 1U);
    EXPECT_EQ(user.questions[0][0], "SDM not found. Select run_3DMC.sdm manually.");
    EXPECT_EQ(user.questions[0][1], dir.file(""));
    EXPECT_EQ(user.questions[0][2], "Single Subject Desgin Matrix (run_3DMC.sdm)");

    EXPECT_EQ(mdm.designMatrixFiles,
              (Paths{p("E:/c/s1/run_3DMC.sdm"), p("E:/c/s2/run_3DMC.sdm"),
                     p("X:/other/s3/run_3DMC.sdm"), p("D:/a/bc/s4/run_3DMC.sdm")}));
    EXPECT_EQ(mdm.functionalDataFiles, (Paths{p("E:/c/s1/run.fmr"), p("E:/c/s2/run.fmr"),
                                              p("X:/other/s3/run.fmr"), p("D:/a/bc/s4/run.fmr")}));
    if (mtc) {
        EXPECT_EQ(mdm.extraFiles, (Paths{p("E:/c/s1/anat.vmr"), p("E:/c/s2/anat.vmr"),
                                         p("X:/other/s3/anat.vmr"), p("D:/a/bc/s4/anat.vmr")}));
    }
    // The file on disk now holds the repaired paths.
    EXPECT_EQ(readFile(mdmPath), mdm.fileContent());
    EXPECT_EQ(MultiStudyDesignMatrix(mdmPath).designMatrixFiles, mdm.designMatrixFiles);
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"group_3DMC.mdm"});
}

INSTANTIATE_TEST_SUITE_P(BothSeparatorsAndMtc, PathRepair,
                         ::testing::Values(RepairCase{"/", "FMR"}, RepairCase{"\\", "FMR"},
                                           RepairCase{"/", "MTC"}, RepairCase{"\\", "MTC"}),
                         [](const auto& info) {
                             return (info.param.separator == "/" ? "Slash" : "Backslash") +
                                    std::string("_") + info.param.typeOfData;
                         });

// An MDM that lists its files relative to a folder: the first SDM, found whole at the end of the
// chosen path, shows where that folder is now; rooted paths stay.
TEST_F(MultiStudyDesignMatrixFile, RelativePathsMoveIntoTheChosenFolder) {
    for (const std::string separator : {"/", "\\"}) {
        writeFile(mdmPath,
                  mdmText("FMR",
                          "\"s1" + separator + "run.fmr\"  \"s1" + separator +
                              "run_3DMC.sdm\"\n\"s2" + separator + "run.fmr\"  \"s2" + separator +
                              "run_3DMC.sdm\"\n\"D:/other/run.fmr\"  "
                              "\"/other/run_3DMC.sdm\"\n",
                          3));
        MultiStudyDesignMatrix mdm(mdmPath);
        const std::string folder = "/data/group" + separator;
        RecordingChooser user{folder + "s1" + separator + "run_3DMC.sdm", {}};
        EXPECT_TRUE(mdm.repairPaths(user.chooser()));
        EXPECT_EQ(mdm.designMatrixFiles,
                  (Paths{folder + "s1" + separator + "run_3DMC.sdm",
                         folder + "s2" + separator + "run_3DMC.sdm", "/other/run_3DMC.sdm"}));
        EXPECT_EQ(mdm.functionalDataFiles,
                  (Paths{folder + "s1" + separator + "run.fmr",
                         folder + "s2" + separator + "run.fmr", "D:/other/run.fmr"}));
    }
    // Found in a folder whose name only ends like the listed one ("xs1" for "s1"): the listed
    // folder "s1" moved to "/data/xs1", and nothing says where "s2" went.
    writeFile(mdmPath, mdmText("FMR",
                               "\"s1/run.fmr\"  \"s1/run_3DMC.sdm\"\n"
                               "\"s2/run.fmr\"  \"s2/run_3DMC.sdm\"\n",
                               2));
    MultiStudyDesignMatrix mdm(mdmPath);
    RecordingChooser user{"/data/xs1/run_3DMC.sdm", {}};
    EXPECT_TRUE(mdm.repairPaths(user.chooser()));
    EXPECT_EQ(mdm.designMatrixFiles, (Paths{"/data/xs1/run_3DMC.sdm", "s2/run_3DMC.sdm"}));
}

TEST_F(MultiStudyDesignMatrixFile, ACancelledDialogChangesNothing) {
    const std::string text =
        mdmText("FMR", "\"D:/a/b/s1/run.fmr\"  \"D:/a/b/s1/run_3DMC.sdm\"\n", 1);
    writeFile(mdmPath, text);
    MultiStudyDesignMatrix mdm(mdmPath);
    RecordingChooser user{"", {}};
    EXPECT_FALSE(mdm.repairPaths(user.chooser()));
    EXPECT_EQ(user.questions.size(), 1U);
    EXPECT_EQ(mdm.designMatrixFiles, Paths{"D:/a/b/s1/run_3DMC.sdm"});
    EXPECT_EQ(readFile(mdmPath), text) << "not rewritten";
}

// Rewriting the paths from a file of another name would point the MDM at that file for good.
TEST_F(MultiStudyDesignMatrixFile, AChosenFileOfAnotherNameIsRefusedAndChangesNothing) {
    const std::string text =
        mdmText("FMR", "\"D:/a/b/s1/run.fmr\"  \"D:/a/b/s1/run_3DMC.sdm\"\n", 1);
    for (const std::string answer : {"E:/c/s1/run.fmr", "E:/x.sdm", "sdm"}) {
        writeFile(mdmPath, text);
        MultiStudyDesignMatrix mdm(mdmPath);
        RecordingChooser user{answer, {}};
        try {
            mdm.repairPaths(user.chooser());
            ADD_FAILURE() << "no error for " << answer;
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()),
                      "The chosen file " + answer +
                          " is not run_3DMC.sdm, the missing SDM that the MDM " + mdmPath +
                          " lists first; the MDM was not changed.");
        }
        EXPECT_EQ(mdm.designMatrixFiles, Paths{"D:/a/b/s1/run_3DMC.sdm"});
        EXPECT_EQ(readFile(mdmPath), text) << "not rewritten";
    }
    // The host's file system ignores case: the same file under another spelling is fine.
    writeFile(mdmPath, text);
    MultiStudyDesignMatrix mdm(mdmPath);
    RecordingChooser user{"E:/c/s1/RUN_3dmc.SDM", {}};
    EXPECT_TRUE(mdm.repairPaths(user.chooser()));
    EXPECT_EQ(mdm.designMatrixFiles, Paths{"E:/c/s1/RUN_3dmc.SDM"});
}

TEST_F(MultiStudyDesignMatrixFile, AnMdmWithTextTheReaderDoesNotUseIsNotRewritten) {
    const std::string text = "FileVersion: 3\nCreatedBy: the lab's script\nNrOfStudies: 1\n"
                             "\"D:/a/s1/run.fmr\"  \"D:/a/s1/run_3DMC.sdm\"\n";
    writeFile(mdmPath, text);
    MultiStudyDesignMatrix mdm(mdmPath);
    RecordingChooser user{"E:/c/s1/run_3DMC.sdm", {}};
    try {
        mdm.repairPaths(user.chooser());
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "The first SDM that the MDM " + mdmPath +
                      " lists, D:/a/s1/run_3DMC.sdm, is missing, but the MDM cannot be repaired: "
                      "its line 2 holds text that rewriting the file would lose. Correct the paths "
                      "in the MDM by hand.");
    }
    EXPECT_TRUE(user.questions.empty()) << "nothing to choose when nothing can be saved";
    EXPECT_EQ(readFile(mdmPath), text);
}

// Paths written on one machine and chosen on another: "\\" in the file, "/" in the answer.
TEST_F(MultiStudyDesignMatrixFile, EveryPathMovesWhateverSeparatorsTheFileAndTheAnswerUse) {
    writeFile(mdmPath, mdmText("FMR",
                               "\"D:\\a\\b\\s1\\run.fmr\"  \"D:\\a\\b\\s1\\run_3DMC.sdm\"\n"
                               "\"D:\\a\\b\\s2\\run.fmr\"  \"D:/a/b/s2/run_3DMC.sdm\"\n",
                               2));
    MultiStudyDesignMatrix mdm(mdmPath);
    RecordingChooser user{"/mnt/c/s1/run_3DMC.sdm", {}};
    EXPECT_TRUE(mdm.repairPaths(user.chooser()));
    EXPECT_EQ(mdm.designMatrixFiles, (Paths{"/mnt/c/s1/run_3DMC.sdm", "/mnt/c/s2/run_3DMC.sdm"}));
    EXPECT_EQ(mdm.functionalDataFiles, (Paths{"/mnt/c/s1/run.fmr", "/mnt/c/s2/run.fmr"}));
    EXPECT_EQ(MultiStudyDesignMatrix(mdmPath).designMatrixFiles, mdm.designMatrixFiles);

    // And the other way round, into a Windows folder.
    writeFile(mdmPath, mdmText("FMR",
                               "\"/data/a/s1/run.fmr\"  \"/data/a/s1/run_3DMC.sdm\"\n"
                               "\"/data/a/s2/run.fmr\"  \"/data/a/s2/run_3DMC.sdm\"\n",
                               2));
    MultiStudyDesignMatrix back(mdmPath);
    RecordingChooser windowsUser{"E:\\c\\s1\\run_3DMC.sdm", {}};
    EXPECT_TRUE(back.repairPaths(windowsUser.chooser()));
    EXPECT_EQ(back.designMatrixFiles,
              (Paths{"E:\\c\\s1\\run_3DMC.sdm", "E:\\c\\s2\\run_3DMC.sdm"}));
}

TEST_F(MultiStudyDesignMatrixFile, AnExistingFirstSdmNeedsNoRepair) {
    writeFile(dir.file("s1_3DMC.sdm"), "present");
    const std::string text = mdmText(
        "FMR", "\"s1.fmr\"  \"" + dir.file("s1_3DMC.sdm") + "\"\n\"s2.fmr\"  \"D:/gone.sdm\"\n", 2);
    writeFile(mdmPath, text);
    MultiStudyDesignMatrix mdm(mdmPath);
    RecordingChooser user{"E:/never.sdm", {}};
    EXPECT_TRUE(mdm.repairPaths(user.chooser()));
    EXPECT_TRUE(user.questions.empty());
    EXPECT_EQ(readFile(mdmPath), text) << "neither changed nor rewritten";

    MultiStudyDesignMatrix none = readText(mdmText("FMR", "", 0));
    EXPECT_TRUE(none.repairPaths(user.chooser()));
    EXPECT_TRUE(user.questions.empty());
}

TEST_F(MultiStudyDesignMatrixFile, ARepairThatCannotBeSavedLeavesTheOldMdm) {
    const std::string text =
        mdmText("FMR", "\"D:/a/b/s1/run.fmr\"  \"D:/a/b/s1/run_3DMC.sdm\"\n", 1);
    writeFile(mdmPath, text);
    MultiStudyDesignMatrix mdm(mdmPath);
    RecordingChooser user{"E:/c/s1/run_3DMC.sdm", {}};
    setAtomicWriteFaultHookForTesting([](std::size_t written) { return written > 0; });
    try {
        mdm.repairPaths(user.chooser());
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot Create file: " + mdmPath + " (no space left on device)");
    }
    EXPECT_EQ(readFile(mdmPath), text);
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"group_3DMC.mdm"});
}

} // namespace
} // namespace qm::test
