// Reading the header of an FMR project: which entries are kept, the position block, the slice
// timing table, and what a broken header leaves behind.
#include "FmrProject.h"
#include "FileErrors.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include <string>

namespace qm::test {
namespace {

class FmrHeader : public ::testing::Test {
protected:
    FmrProject read(const std::string& text) {
        writeFile(dir.file("run.fmr"), text);
        return FmrProject(dir.file("run.fmr"), false);
    }
    TempDir dir;
};

TEST_F(FmrHeader, ReadsTheKeysItKnowsAndPassesOverTheRest) {
    const FmrProject project = read("\r\nFileVersion:          7\r\n\r\n"
                                    "NrOfVolumes:          120\r\n"
                                    "NrOfSlices:           30\r\n"
                                    "Prefix:               \"run 1\"\r\n"
                                    "DataType:             2\r\n"
                                    "TR:                   2000\r\n"
                                    "TimeResolutionVerified: 1\r\n"
                                    "UnknownKey:           42 more words\r\n"
                                    "ResolutionX:          64\r\n"
                                    "ResolutionY:          62\r\n"
                                    "NrOfLinkedProtocols:  1\r\n"
                                    "ProtocolFile:         \"C:\\data\\task.prt\"\r\n"
                                    "InplaneResolutionX:   3.5\r\n"
                                    "SliceThickness:       3\r\n"
                                    "SliceGap:             0.5\r\n"
                                    "LeftRightConvention:  1   \r\n");
    EXPECT_EQ(project.path, dir.file("run.fmr"));
    EXPECT_EQ(project.fileVersion.value, 7);
    EXPECT_EQ(project.nrOfVolumes.value, 120);
    EXPECT_EQ(project.nrOfVolumes.name, "NrOfVolumes");
    EXPECT_EQ(project.nrOfVolumes.width, 22);
    EXPECT_EQ(project.nrOfSlices.value, 30);
    EXPECT_EQ(project.prefix.value, "run 1");
    EXPECT_TRUE(project.prefix.quoted);
    EXPECT_EQ(project.dataType.value, 2);
    EXPECT_EQ(project.tr.value, 2000);
    EXPECT_TRUE(project.timeResolutionVerified.value);
    EXPECT_EQ(project.resolutionX.value, 64);
    EXPECT_EQ(project.resolutionY.value, 62);
    EXPECT_EQ(project.protocolFile.value, "C:\\data\\task.prt");
    EXPECT_EQ(project.inplaneResolutionX.value, 3.5F);
    EXPECT_EQ(project.sliceThickness.value, 3.0F);
    EXPECT_EQ(project.sliceGap.value, 0.5F);
    EXPECT_EQ(project.leftRightConvention.value, "1") << "stored as written, minus trailing blanks";
    EXPECT_FALSE(project.leftRightConvention.quoted);
    EXPECT_FALSE(project.te.present);
    EXPECT_FALSE(project.inplaneResolutionY.present);
    EXPECT_TRUE(project.volumes.empty()) << "no data without readData";
}

TEST_F(FmrHeader, AnEmptyFileLeavesEveryFieldAbsent) {
    const FmrProject project = read("");
    EXPECT_EQ(project.fileVersion.value, -1);
    EXPECT_FALSE(project.fileVersion.present);
    EXPECT_FALSE(project.nrOfVolumes.present);
    EXPECT_TRUE(project.nrOfVolumes.name.empty());
    EXPECT_TRUE(project.sliceTimingTable.empty());
}

TEST_F(FmrHeader, KeysComeInAnyOrderAndTheLaterOfTwoWins) {
    const FmrProject project = read("ResolutionY: 8\nNrOfVolumes: 3\nResolutionY: 9\n");
    EXPECT_EQ(project.resolutionY.value, 9);
    EXPECT_EQ(project.nrOfVolumes.value, 3);
}

TEST_F(FmrHeader, ThePositionBlockHasItsOwnKeysAndEndsAfterGapThickness) {
    const FmrProject project = read("SliceThickness: 3\n"
                                    "PositionInformationFromImageHeaders\n"
                                    "PosInfosVerified: 1\nCoordinateSystem: 1\n"
                                    "Slice1CenterZ: -43.5\nSliceNCenterZ: 43.5\n"
                                    "NrOfVolumes: 99\n"
                                    "RowDirX: 1\nNRows: 64\nNCols: 62\nFoVRows: 192\n"
                                    "SliceThickness: 2.5\nGapThickness: 0.5\n"
                                    "NrOfSlices: 30\nMultibandSequence: 2\n");
    EXPECT_TRUE(project.posInfosVerified.value);
    EXPECT_EQ(project.coordinateSystem.value, 1);
    EXPECT_EQ(project.slice1CenterZ.value, -43.5F);
    EXPECT_EQ(project.sliceNCenterZ.value, 43.5F);
    EXPECT_EQ(project.rowDirX.value, 1.0F);
    EXPECT_EQ(project.nRows.value, 64);
    EXPECT_EQ(project.nCols.value, 62);
    EXPECT_EQ(project.foVRows.value, 192.0F);
    EXPECT_EQ(project.positionSliceThickness.value, 2.5F);
    EXPECT_EQ(project.sliceThickness.value, 3.0F) << "the block's SliceThickness is its own";
    EXPECT_EQ(project.gapThickness.value, 0.5F);
    EXPECT_FALSE(project.nrOfVolumes.present) << "top-level keys are not read inside the block";
    EXPECT_EQ(project.nrOfSlices.value, 30) << "top-level keys are read again after it";
    EXPECT_EQ(project.multibandSequence.value, 2);
}

TEST_F(FmrHeader, WithoutThePositionMarkerEveryPositionFieldIsAbsent) {
    const FmrProject project = read("NRows: 64\nGapThickness: 1\nCoordinateSystem: 1\n");
    EXPECT_FALSE(project.nRows.present);
    EXPECT_FALSE(project.gapThickness.present);
    EXPECT_FALSE(project.coordinateSystem.present);
}

TEST_F(FmrHeader, APositionBlockWithoutGapThicknessRunsToTheEnd) {
    const FmrProject project = read("PositionInformationFromImageHeaders\nNRows: 64\n"
                                    "SliceTimingTableSize: 2\n0 1000\nNrOfSlices: 2\n"
                                    "SliceTimingTableSize:");
    EXPECT_EQ(project.nRows.value, 64);
    EXPECT_FALSE(project.sliceTimingTableSize.present);
    EXPECT_TRUE(project.sliceTimingTable.empty());
    EXPECT_FALSE(project.nrOfSlices.present);
}

TEST_F(FmrHeader, TheSliceTimingTableIsReadAndTheTokenAfterItDropped) {
    const FmrProject project =
        read("SliceTimingTableSize: 3\n0 666.5 1333\nNrOfVolumes: 5\nNrOfSlices: 3\n");
    EXPECT_EQ(project.sliceTimingTable, (std::vector<float>{0.0F, 666.5F, 1333.0F}));
    EXPECT_FALSE(project.nrOfVolumes.present) << "the key after the table is dropped";
    EXPECT_EQ(project.nrOfSlices.value, 3);
}

TEST_F(FmrHeader, AnEmptySliceTimingTableStillDropsTheNextToken) {
    const FmrProject project = read("SliceTimingTableSize: 0\nNrOfVolumes: 5\nNrOfSlices: 3\n");
    EXPECT_TRUE(project.sliceTimingTableSize.present);
    EXPECT_TRUE(project.sliceTimingTable.empty());
    EXPECT_FALSE(project.nrOfVolumes.present);
    EXPECT_EQ(project.nrOfSlices.value, 3);
}

TEST_F(FmrHeader, AValueThatIsNoNumberEndsTheHeaderThere) {
    const FmrProject project = read("NrOfVolumes: 5\nNrOfSlices: many\nResolutionX: 64\n");
    EXPECT_EQ(project.nrOfVolumes.value, 5);
    EXPECT_TRUE(project.nrOfSlices.present) << "marked present, value unset";
    EXPECT_EQ(project.nrOfSlices.value, 0);
    EXPECT_FALSE(project.resolutionX.present);
}

TEST_F(FmrHeader, AMissingFileOrOneThatIsNoRegularFileIsNamed) {
    std::filesystem::create_directory(dir.file("folder.fmr"));
    ASSERT_EQ(::mkfifo(dir.file("pipe.fmr").c_str(), 0644), 0);
    std::filesystem::create_symlink("/dev/zero", dir.file("zero.fmr"));
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"absent.fmr", ""},
        {"folder.fmr", " (a folder, not a regular file)"},
        {"pipe.fmr", " (a named pipe, not a regular file)"},
        {"zero.fmr", " (a device, not a regular file)"},
    };
    for (const auto& c : cases) {
        try {
            FmrProject(dir.file(c.name), true);
            ADD_FAILURE() << "no error for " << c.name;
        } catch (const OpenFileError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Failed opening for reading: " + dir.file(c.name) + c.reason);
        }
    }
}

TEST_F(FmrHeader, AByteOrderMarkBeforeTheFirstKeyIsPassedOver) {
    const FmrProject project = read("\xEF\xBB\xBF"
                                    "FileVersion: 7\nNrOfVolumes: 3\n");
    EXPECT_EQ(project.fileVersion.value, 7);
    EXPECT_EQ(project.nrOfVolumes.value, 3);
}

TEST_F(FmrHeader, TheStcLiesBesideTheFmrUnderItsPrefix) {
    EXPECT_EQ(read("Prefix: \"run1\"\n").stcPath(), dir.file("run1.stc"));
}

TEST_F(FmrHeader, VolumeSizesMustBePresentNotNegativeAndFitOneVolume) {
    struct Case {
        const char* header;
        const char* problem;
    };
    const Case cases[] = {
        {"ResolutionY: 4\nNrOfSlices: 2\n",
         "has no \"ResolutionX:\" entry, so its slice data cannot be read."},
        {"ResolutionX: 4\nNrOfSlices: 2\n",
         "has no \"ResolutionY:\" entry, so its slice data cannot be read."},
        {"ResolutionX: 4\nResolutionY: 4\n",
         "has no \"NrOfSlices:\" entry, so its slice data cannot be read."},
        {"ResolutionX: 4\nResolutionY: -4\nNrOfSlices: 2\n",
         "gives \"ResolutionY: -4\"; sizes and counts cannot be negative."},
        {"ResolutionX: 65536\nResolutionY: 65536\nNrOfSlices: 1\n",
         "describes volumes of 65536 x 65536 x 1 voxels, more than the 2147483647 one volume "
         "can hold."},
        {"ResolutionX: 0\nResolutionY: 4\nNrOfSlices: 2\n",
         "gives \"ResolutionX: 0\": a run needs at least one column in every volume."},
        {"ResolutionX: 3\nResolutionY: 0\nNrOfSlices: 2\n",
         "gives \"ResolutionY: 0\": a run needs at least one row in every volume."},
        {"ResolutionX: 3\nResolutionY: 4\nNrOfSlices: 0\n",
         "gives \"NrOfSlices: 0\": a run needs at least one slice in every volume."},
    };
    for (const Case& c : cases) {
        const FmrProject project = read(c.header);
        try {
            project.volumeDimensions();
            ADD_FAILURE() << "no error for " << c.header;
        } catch (const FileFormatError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "The FMR project " + dir.file("run.fmr") + " " + c.problem);
        }
    }
    const VolumeDimensions dim =
        read("ResolutionX: 3\nResolutionY: 1\nNrOfSlices: 2\n").volumeDimensions();
    EXPECT_EQ(dim, (VolumeDimensions{3, 1, 2}));
}

} // namespace
} // namespace qm::test
