#include "DesignMatrix.h"

#include "AtomicFileWriter.h"
#include "FileErrors.h"
#include "FormatsTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace qm::test {
namespace {

// Six motion predictors over a few hundred volumes, with values below -10 and above 100 in
// every column. Multiples of 1/64 have an exact 6-decimal text, so they survive the file.
DesignMatrix motionMatrix(int volumes) {
    DesignMatrix matrix;
    const char* names[] = {"Translation X [mm]", "Translation Y [mm]", "Translation Z [mm]",
                           "Rotation X [deg]",   "Rotation Y [deg]",   "Rotation Z [deg]"};
    matrix.nrOfPredictors.value = 6;
    matrix.nrOfDataPoints.value = volumes;
    matrix.firstConfoundPredictor.value = 1;
    for (int p = 0; p < 6; ++p) {
        matrix.red.push_back(p < 3 ? 255 : 0);
        matrix.green.push_back(p * 40);
        matrix.blue.push_back(p < 3 ? 0 : 255);
        matrix.predictorNames.push_back(names[p]);
        std::vector<float> column;
        for (int t = 0; t < volumes; ++t) {
            column.push_back(static_cast<float>((t * 37 + p * 1013) % 12000 - 2000) / 64.0F);
        }
        matrix.columns.push_back(column);
    }
    return matrix;
}

template <typename Field> void expectSameField(const Field& actual, const Field& expected) {
    EXPECT_EQ(actual.name, expected.name);
    EXPECT_EQ(actual.value, expected.value) << expected.name;
    EXPECT_EQ(actual.width, expected.width) << expected.name;
    EXPECT_EQ(actual.present, expected.present) << expected.name;
}

void expectSameRecord(const DesignMatrix& actual, const DesignMatrix& expected) {
    expectSameField(actual.fileVersion, expected.fileVersion);
    expectSameField(actual.nrOfPredictors, expected.nrOfPredictors);
    expectSameField(actual.nrOfDataPoints, expected.nrOfDataPoints);
    expectSameField(actual.includesConstant, expected.includesConstant);
    expectSameField(actual.firstConfoundPredictor, expected.firstConfoundPredictor);
    EXPECT_EQ(actual.red, expected.red);
    EXPECT_EQ(actual.green, expected.green);
    EXPECT_EQ(actual.blue, expected.blue);
    EXPECT_EQ(actual.predictorNames, expected.predictorNames);
    EXPECT_EQ(actual.columns, expected.columns);
}

// Lines 1 to 9 of a two-predictor SDM; the data lines follow from line 10 on.
const std::string kTwoPredictorHeader = "FileVersion:            3\n"
                                        "\n"
                                        "NrOfPredictors:         2\n"
                                        "NrOfDataPoints:         3\n"
                                        "IncludesConstant:       0\n"
                                        "FirstConfoundPredictor: 1\n"
                                        "\n"
                                        "255 0 0   0 255 0\n"
                                        "\"Trans X\" \"Rot Z\"\n";

class DesignMatrixFile : public ::testing::Test {
protected:
    DesignMatrix readText(const std::string& text, const std::string& name = "run_3DMC.sdm") {
        writeFile(dir.file(name), text);
        return DesignMatrix(dir.file(name));
    }
    // The message of the FileFormatError that reading `text` raises.
    std::string formatError(const std::string& text) {
        writeFile(dir.file("bad.sdm"), text);
        try {
            DesignMatrix{dir.file("bad.sdm")};
        } catch (const FileFormatError& error) {
            return error.what();
        }
        return "<read without error>";
    }
    std::string invalid(const std::string& rest) {
        return "Invalid SDM file " + dir.file("bad.sdm") + rest;
    }
    TempDir dir;
};

TEST_F(DesignMatrixFile, TheWriterProducesTheHostLayoutByteForByte) {
    DesignMatrix matrix;
    matrix.nrOfPredictors.value = 2;
    matrix.nrOfDataPoints.value = 4;
    matrix.firstConfoundPredictor.value = 1;
    matrix.red = {255, 0};
    matrix.green = {0, 255};
    matrix.blue = {0, 0};
    matrix.predictorNames = {"Trans X", "Rot Z"};
    matrix.columns = {{0.5F, -0.0F, -12.5F, std::numeric_limits<float>::quiet_NaN()},
                      {-1.25F, 123.456F, 1.0e6F, 0.0000004F}};
    matrix.saveAs(dir.file("out.sdm"));
    EXPECT_EQ(readFile(dir.file("out.sdm")), "FileVersion:            1\r\n"
                                             "\r\n"
                                             "NrOfPredictors:         2\r\n"
                                             "NrOfDataPoints:         4\r\n"
                                             "IncludesConstant:       0\r\n"
                                             "FirstConfoundPredictor: 1\r\n"
                                             "\r\n"
                                             "255 0 0   0 255 0\r\n"
                                             "\"Trans X\" \"Rot Z\"\r\n"
                                             "  0.500000  -1.250000\r\n"
                                             "  -0.000000   123.456001\r\n"
                                             " -12.500000   1000000.000000\r\n"
                                             " nan   0.000000\r\n");
    EXPECT_EQ(matrix.path, dir.file("out.sdm"));
}

TEST_F(DesignMatrixFile, AMotionMatrixSurvivesSavingAndReadingUnchanged) {
    DesignMatrix written = motionMatrix(300);
    written.includesConstant.value = true;
    written.saveAs(dir.file("run1_3DMC.sdm"));
    DesignMatrix read(dir.file("run1_3DMC.sdm"));
    EXPECT_EQ(read.path, dir.file("run1_3DMC.sdm"));
    expectSameRecord(read, written);
    // Values beyond -10 and 100 come back in every column, not only the first.
    EXPECT_LT(*std::min_element(read.columns[3].begin(), read.columns[3].end()), -10.0F);
    EXPECT_GT(*std::max_element(read.columns[5].begin(), read.columns[5].end()), 100.0F);

    const std::string firstFile = readFile(dir.file("run1_3DMC.sdm"));
    read.saveAs(dir.file("again.sdm"));
    EXPECT_EQ(readFile(dir.file("again.sdm")), firstFile);
}

TEST_F(DesignMatrixFile, AnyFloatIsWrittenAgainAsTheSameText) {
    DesignMatrix matrix = motionMatrix(50);
    for (int t = 0; t < 50; ++t) {
        matrix.columns[2][static_cast<std::size_t>(t)] =
            std::sin(static_cast<float>(t)) * 1234.5678F;
    }
    matrix.saveAs(dir.file("a.sdm"));
    DesignMatrix(dir.file("a.sdm")).saveAs(dir.file("b.sdm"));
    EXPECT_EQ(readFile(dir.file("b.sdm")), readFile(dir.file("a.sdm")));
}

TEST_F(DesignMatrixFile, LfAndCrLfFilesReadAlikeAndKeepTheirValueColumns) {
    const std::string text = "FileVersion:    3\n"
                             "\n"
                             "NrOfPredictors: 2\n"
                             "NrOfDataPoints:   2\n"
                             "IncludesConstant:       1\n"
                             "FirstConfoundPredictor:            2\n"
                             "\n"
                             "255 0 0   0 255 0\n"
                             "\"Trans X\" \"Rot Z\"\n"
                             " 0.500000  -12.500000\n"
                             "  -1.000000   123.000000\n";
    DesignMatrix lf = readText(text, "lf.sdm");
    const DesignMatrix crlf = readText(withCrLf(text), "crlf.sdm");
    EXPECT_EQ(lf.fileVersion.value, 3);
    EXPECT_EQ(lf.nrOfPredictors.width, 16);
    EXPECT_EQ(lf.nrOfDataPoints.width, 18);
    EXPECT_EQ(lf.firstConfoundPredictor.width, 35);
    EXPECT_TRUE(lf.includesConstant.value);
    EXPECT_EQ(lf.columns, (std::vector<std::vector<float>>{{0.5F, -1.0F}, {-12.5F, 123.0F}}));
    expectSameRecord(crlf, lf);

    lf.saveAs(dir.file("out.sdm"));
    const std::string out = readFile(dir.file("out.sdm"));
    EXPECT_EQ(out.substr(0, out.find("255")), "FileVersion:    3\r\n"
                                              "\r\n"
                                              "NrOfPredictors: 2\r\n"
                                              "NrOfDataPoints:   2\r\n"
                                              "IncludesConstant:       1\r\n"
                                              "FirstConfoundPredictor:            2\r\n"
                                              "\r\n");
}

TEST_F(DesignMatrixFile, TabsInTheHeaderCountAsOneColumnAndAreWrittenAsSpaces) {
    const DesignMatrix matrix =
        readText("FileVersion:\t1\n\nNrOfPredictors:\t\t1\nNrOfDataPoints: \t1\n"
                 "IncludesConstant:\t0\nFirstConfoundPredictor:\t1\n\n1 2 3\n\"A\"\n 7.5\n");
    EXPECT_EQ(matrix.nrOfPredictors.width, 17);
    EXPECT_EQ(matrix.nrOfDataPoints.width, 17);
    const std::string out = matrix.fileContent();
    EXPECT_EQ(out.substr(0, out.find("1 2 3")), "FileVersion: 1\r\n\r\n"
                                                "NrOfPredictors:  1\r\n"
                                                "NrOfDataPoints:  1\r\n"
                                                "IncludesConstant: 0\r\n"
                                                "FirstConfoundPredictor: 1\r\n\r\n");
}

TEST_F(DesignMatrixFile, KeysComeInAnyOrderAndUnknownEntriesArePassedOver) {
    const DesignMatrix matrix =
        readText("NrOfDataPoints: 1\nSomethingNew: 12 more words\nNrOfPredictors: 2\n"
                 "FirstConfoundPredictor: 1\n\n1 2 3   4 5 6\n\"A\" \"B\"\n 1  2\n");
    EXPECT_EQ(matrix.fileVersion.value, -1);
    EXPECT_FALSE(matrix.fileVersion.present);
    EXPECT_FALSE(matrix.includesConstant.present);
    EXPECT_FALSE(matrix.includesConstant.value);
    EXPECT_EQ(matrix.columns, (std::vector<std::vector<float>>{{1.0F}, {2.0F}}));
    const std::string out = matrix.fileContent();
    EXPECT_EQ(out.substr(0, out.find("1 2 3")), "NrOfPredictors: 2\r\nNrOfDataPoints: 1\r\n"
                                                "FirstConfoundPredictor: 1\r\n\r\n");
}

TEST_F(DesignMatrixFile, MissingColoursAndNamesTakeTheirDefaults) {
    const DesignMatrix fewer =
        readText("NrOfPredictors: 3\nNrOfDataPoints: 1\nFirstConfoundPredictor: 1\n"
                 "10 20 30\n\"Only\"\n 1  2  3\n");
    EXPECT_EQ(fewer.red, (std::vector<std::int32_t>{10, 0, 0}));
    EXPECT_EQ(fewer.green, (std::vector<std::int32_t>{20, 0, 0}));
    EXPECT_EQ(fewer.blue, (std::vector<std::int32_t>{30, 0, 0}));
    EXPECT_EQ(fewer.predictorNames, (std::vector<std::string>{"Only", "NoName", "NoName"}));

    // No colour line at all, surplus names, and text between the quoted names.
    const DesignMatrix surplus =
        readText("NrOfPredictors: 2\nNrOfDataPoints: 1\n"
                 "FirstConfoundPredictor: 1\n\"A\" and \"B\" \"C\"\n 1 2\n");
    EXPECT_EQ(surplus.red, (std::vector<std::int32_t>{0, 0}));
    EXPECT_EQ(surplus.predictorNames, (std::vector<std::string>{"A", "B"}));

    // A quote without a partner ends the names.
    const DesignMatrix unpaired = readText("NrOfPredictors: 2\nNrOfDataPoints: 0\n"
                                           "FirstConfoundPredictor: 1\n1 1 1   2 2 2\n\"A\" \"B\n");
    EXPECT_EQ(unpaired.predictorNames, (std::vector<std::string>{"A", "NoName"}));
    EXPECT_EQ(unpaired.blue, (std::vector<std::int32_t>{1, 2}));
}

TEST_F(DesignMatrixFile, AMatrixWithoutDataPointsEndsAfterTheNameLine) {
    DesignMatrix matrix = motionMatrix(0);
    matrix.saveAs(dir.file("empty.sdm"));
    const std::string text = readFile(dir.file("empty.sdm"));
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(text.substr(text.rfind("\r\n", text.size() - 3) + 2, 1), "\"");
    const DesignMatrix read(dir.file("empty.sdm"));
    expectSameRecord(read, matrix);
    EXPECT_EQ(read.columns, std::vector<std::vector<float>>(6));

    const DesignMatrix none = readText("NrOfPredictors: 0\nNrOfDataPoints: 0\n"
                                       "FirstConfoundPredictor: 1\n\n\n");
    EXPECT_TRUE(none.columns.empty());
    EXPECT_TRUE(none.predictorNames.empty());
}

// Found by fuzzing: records that read but whose written file did not (fuzz/regressions/sdm).
TEST_F(DesignMatrixFile, WhatTheReaderAcceptsTheWriterWritesReadably) {
    // Values on the line after their keys: written right after the colon, key and value would
    // make one unknown word.
    DesignMatrix nextLine = readText("NrOfPredictors:\n1\nNrOfDataPoints:\n1\n"
                                     "FirstConfoundPredictor:\n 1\n\n1 2 3\n\"A\"\n 7.5\n");
    EXPECT_EQ(nextLine.nrOfPredictors.width, 15);
    const std::string out = nextLine.fileContent();
    EXPECT_EQ(out.substr(0, out.find("1 2 3")), "NrOfPredictors: 1\r\nNrOfDataPoints: 1\r\n"
                                                "FirstConfoundPredictor: 1\r\n\r\n");
    nextLine.saveAs(dir.file("written.sdm"));
    EXPECT_EQ(DesignMatrix(dir.file("written.sdm")).columns, nextLine.columns);

    // No predictors but data points: the empty colour, name and data lines are passed over as
    // blanks, and the file may end anywhere among them.
    DesignMatrix none = readText("NrOfPredictors: 0\nNrOfDataPoints: 3\n"
                                 "FirstConfoundPredictor: 1\n\n\n\n\n\n\n");
    EXPECT_TRUE(none.columns.empty());
    none.saveAs(dir.file("written.sdm"));
    EXPECT_EQ(DesignMatrix(dir.file("written.sdm")).nrOfDataPoints.value, 3);
    EXPECT_EQ(formatError("NrOfPredictors: 0\nNrOfDataPoints: 2\nFirstConfoundPredictor: 1\n"
                          "\n\"A\"\n 1\n"),
              invalid(", line 6: 1 values where NrOfPredictors is 0"))
        << "a value where there can be none is still an error";
}

TEST_F(DesignMatrixFile, EveryValueOfADataLineIsReadWhateverItsSize) {
    const DesignMatrix matrix = readText(kTwoPredictorHeader + "  0.5  -12.500000\n"
                                                               "-1e3\t123.000000\r\n"
                                                               " +2.25 100");
    EXPECT_EQ(matrix.columns,
              (std::vector<std::vector<float>>{{0.5F, -1000.0F, 2.25F}, {-12.5F, 123.0F, 100.0F}}));
}

TEST_F(DesignMatrixFile, ABrokenDataLineIsReportedWithFileAndLine) {
    const struct {
        std::string data;
        std::string message;
    } cases[] = {
        {" 0.5\n 1 2\n 3 4\n", ", line 10: 1 values where NrOfPredictors is 2"},
        {" 1 2\n 0.5 1 2\n 3 4\n", ", line 11: 3 values where NrOfPredictors is 2"},
        {" 1 2\n\n 3 4\n 5 6\n", ", line 11: 0 values where NrOfPredictors is 2"},
        {" 1 2\n 1,5 2\n 3 4\n", ", line 11: \"1,5\" is not a number"},
        {" 1 2\n 3 4\n 5 abc\n", ", line 12: \"abc\" is not a number"},
        {" 1 2\n 3 4.5.6\n 5 6\n", ", line 11: \"4.5.6\" is not a number"},
        {" 1e50 2\n 3 4\n 5 6\n", ", line 10: 1e50 is outside the range of a 32-bit float"},
        {" 1 2\n 3 4\n", ", line 12: the file ends after 2 of the 3 data lines that "
                         "NrOfDataPoints announces"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatError(kTwoPredictorHeader + c.data), invalid(c.message)) << c.data;
        EXPECT_EQ(formatError(withCrLf(kTwoPredictorHeader + c.data)), invalid(c.message))
            << "CR LF: " << c.data;
    }
}

TEST_F(DesignMatrixFile, AnIncompleteOrUnreadableHeaderIsReported) {
    const std::string noEnd = "FileVersion: 1\nNrOfPredictors: 2\nNrOfDataPoints: 3\n";
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"", ": the header ends before \"FirstConfoundPredictor:\""},
        {noEnd, ": the header ends before \"FirstConfoundPredictor:\""},
        {noEnd + "FirstConfoundPredictor:", ", line 4: the value of \"FirstConfoundPredictor:\" "
                                            "is not a whole number"},
        {"FileVersion: 1\nNrOfDataPoints: many\nFirstConfoundPredictor: 1\n",
         ", line 2: the value of \"NrOfDataPoints:\" is not a whole number"},
        {"NrOfPredictors: 99999999999\nFirstConfoundPredictor: 1\n",
         ", line 1: the value of \"NrOfPredictors:\" is not a whole number"},
        {"FileVersion: 1\n\nIncludesConstant: 2\nFirstConfoundPredictor: 1\n",
         ", line 3: the value of \"IncludesConstant:\" is not 0 or 1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatError(c.text), invalid(c.message)) << c.text;
    }
}

TEST_F(DesignMatrixFile, CountsThatTheFileCannotHoldAreRefusedBeforeAnyAllocation) {
    const auto header = [](const std::string& predictors, const std::string& dataPoints) {
        return "NrOfPredictors: " + predictors + "\nNrOfDataPoints: " + dataPoints +
               "\nFirstConfoundPredictor: 1\n\n\"A\" \"B\"\n 1 2\n";
    };
    const std::string size = std::to_string(header("2000000000", "0").size());
    EXPECT_EQ(formatError(header("-1", "1")),
              invalid(": NrOfPredictors is -1; a count cannot be negative"));
    EXPECT_EQ(formatError(header("2", "-5")),
              invalid(": NrOfDataPoints is -5; a count cannot be negative"));
    EXPECT_EQ(formatError(header("2000000000", "0")),
              invalid(": NrOfPredictors is 2000000000, more than a file of " + size +
                      " bytes can describe"));
    EXPECT_EQ(formatError(header("2", "2147483647")),
              invalid(": NrOfDataPoints is 2147483647 with 2 predictors, more data lines than "
                      "the 15 bytes after the header can hold"));
}

TEST_F(DesignMatrixFile, AMissingFileIsAnOpenFileError) {
    const std::string missing = dir.file("missing_3DMC.sdm");
    try {
        DesignMatrix{missing};
        FAIL() << "no error";
    } catch (const OpenFileError& error) {
        EXPECT_EQ(std::string(error.what()), "Failed opening for reading: " + missing);
    }
    EXPECT_THROW(DesignMatrix{dir.file("")}, OpenFileError) << "a folder is no SDM";
}

TEST_F(DesignMatrixFile, NumbersIgnoreADecimalCommaLocale) {
    DesignMatrix matrix = motionMatrix(40);
    const std::string classicText = matrix.fileContent();
    const DecimalCommaLocale german;
    if (!german.available) {
        GTEST_SKIP() << "the machine has no de_DE.UTF-8 locale";
    }
    EXPECT_EQ(matrix.fileContent(), classicText);
    matrix.saveAs(dir.file("german.sdm"));
    EXPECT_EQ(readFile(dir.file("german.sdm")), classicText);
    expectSameRecord(DesignMatrix(dir.file("german.sdm")), matrix);
    // A decimal comma is no number in an SDM, whatever the locale says.
    EXPECT_EQ(formatError(kTwoPredictorHeader + " 1 2\n 0,5 2\n 3 4\n"),
              invalid(", line 11: \"0,5\" is not a number"));
    // No digit grouping either: "1.000" is one, not a thousand.
    EXPECT_EQ(readText("NrOfPredictors: 1\nNrOfDataPoints: 1\nFirstConfoundPredictor: 1\n"
                       "1 2 3\n\"A\"\n 1.000\n")
                  .columns,
              (std::vector<std::vector<float>>{{1.0F}}));
}

TEST_F(DesignMatrixFile, AFailedSaveLeavesTheOldFileAndNoTemporaryFile) {
    const std::string target = dir.file("run1_3DMC.sdm");
    writeFile(target, "the old file\r\n");
    const DesignMatrix big = motionMatrix(3000); // several chunks of the writer
    ASSERT_GT(big.fileContent().size(), 2 * kAtomicWriteChunkSize);
    for (const std::size_t failAt :
         {std::size_t{0}, kAtomicWriteChunkSize, big.fileContent().size()}) {
        setAtomicWriteFaultHookForTesting(
            [failAt](std::size_t written) { return written == failAt; });
        DesignMatrix copy = big;
        try {
            copy.saveAs(target);
            ADD_FAILURE() << "saved although the write failed at " << failAt;
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Cannot Create file: " + target + " (no space left on device)");
        }
        setAtomicWriteFaultHookForTesting({});
        EXPECT_EQ(readFile(target), "the old file\r\n") << failAt;
        EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"run1_3DMC.sdm"}) << failAt;
    }
}

TEST_F(DesignMatrixFile, AFolderThatCannotTakeTheFileIsReported) {
    DesignMatrix matrix = motionMatrix(3);
    const std::string inMissingFolder = dir.file("no-such-folder/run_3DMC.sdm");
    EXPECT_THROW(
        {
            try {
                matrix.saveAs(inMissingFolder);
            } catch (const std::runtime_error& error) {
                EXPECT_EQ(std::string(error.what()), "Cannot Create file: " + inMissingFolder +
                                                         " (no such file or directory)");
                throw;
            }
        },
        std::runtime_error);
    std::filesystem::create_directory(dir.file("taken.sdm"));
    EXPECT_THROW(matrix.saveAs(dir.file("taken.sdm")), std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("taken.sdm")));
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"taken.sdm"});
}

TEST_F(DesignMatrixFile, ADiskThatFillsUpHalfWayLeavesTheOldFileIntact) {
    const std::string target = dir.file("run1_3DMC.sdm");
    DesignMatrix old = motionMatrix(10);
    old.saveAs(target);
    const std::string oldBytes = readFile(target);
    DesignMatrix bigger = motionMatrix(2000);
    const std::string message =
        messageOfWriteUnderFileSizeLimit(16 * 1024, [&]() { bigger.saveAs(target); });
    EXPECT_EQ(message, "Cannot Create file: " + target + " (file too large)");
    EXPECT_EQ(readFile(target), oldBytes);
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"run1_3DMC.sdm"});
}

TEST_F(DesignMatrixFile, ARecordWhoseListsDoNotMatchItsCountsIsNotWritten) {
    DesignMatrix matrix = motionMatrix(5);
    matrix.columns[4].pop_back();
    EXPECT_THROW(matrix.saveAs(dir.file("broken.sdm")), std::logic_error);
    EXPECT_FALSE(std::filesystem::exists(dir.file("broken.sdm")));
}

} // namespace
} // namespace qm::test
