// Reading STC slice data: the sample layout and types, short and long files, the sizes a header
// must give, and reading one volume alone.
#include "FileErrors.h"
#include "FmrProject.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace qm::test {
namespace {

std::string header(int x, int y, int slices, int volumes, const std::string& dataType) {
    return "NrOfVolumes: " + std::to_string(volumes) + "\r\nNrOfSlices: " + std::to_string(slices) +
           "\r\nPrefix: \"run\"\r\n" + dataType + "ResolutionX: " + std::to_string(x) +
           "\r\nResolutionY: " + std::to_string(y) + "\r\n";
}

std::string int16Bytes(const std::vector<int>& samples) {
    std::string bytes;
    for (int sample : samples) {
        const auto bits = static_cast<std::uint16_t>(static_cast<std::int16_t>(sample));
        bytes.push_back(static_cast<char>(bits & 0xFF));
        bytes.push_back(static_cast<char>(bits >> 8));
    }
    return bytes;
}

class StcData : public ::testing::Test {
protected:
    FmrProject project(const std::string& fmrText, const std::string& stcBytes) {
        writeFile(dir.file("run.fmr"), fmrText);
        writeFile(dir.file("run.stc"), stcBytes);
        return FmrProject(dir.file("run.fmr"), false);
    }
    std::string error(const FmrProject& project, bool wholeRun) {
        try {
            if (wholeRun) {
                FmrProject copy = project;
                copy.readSliceData();
            } else {
                project.readVolume(0);
            }
        } catch (const std::exception& failure) {
            return failure.what();
        }
        return "";
    }
    TempDir dir;
};

TEST_F(StcData, SamplesLieSliceByVolumeByRowByColumn) {
    // 2 columns, 2 rows, 2 slices, 3 volumes: sample n of the file has the value n.
    std::vector<int> samples(24);
    for (int n = 0; n < 24; ++n) {
        samples[static_cast<std::size_t>(n)] = n;
    }
    FmrProject run = project(header(2, 2, 2, 3, ""), int16Bytes(samples));
    run.readSliceData();
    ASSERT_EQ(run.volumes.size(), 3U);
    for (std::int32_t v = 0; v < 3; ++v) {
        Volume& volume = run.volumes[static_cast<std::size_t>(v)];
        EXPECT_EQ(volume.dim, (VolumeDimensions{2, 2, 2}));
        for (std::int32_t z = 0; z < 2; ++z) {
            for (std::int32_t y = 0; y < 2; ++y) {
                for (std::int32_t x = 0; x < 2; ++x) {
                    EXPECT_EQ(volume.at(x, y, z), static_cast<float>(((z * 3 + v) * 2 + y) * 2 + x))
                        << v << " " << x << y << z;
                }
            }
        }
        EXPECT_EQ(run.readVolume(v).volume.data, volume.data) << "volume " << v << " alone";
    }
}

TEST_F(StcData, SampleTypesFollowDataType) {
    struct Case {
        const char* dataType;
        std::string bytes;
        float expected;
    };
    const Case cases[] = {
        {"", "\xFF\xFF", -1.0F},
        {"DataType: 1\n", "\xFF\xFF", -1.0F},
        {"DataType: 3\n", std::string("\x00\x80", 2), -32768.0F},
        {"DataType: 1\n", "\xFF\x7F", 32767.0F},
        {"DataType: 2\n", std::string("\x00\x00\x80\x3F", 4), 1.0F},
        {"DataType: 2\n", std::string("\x00\x00\x20\xC1", 4), -10.0F},
    };
    for (const Case& c : cases) {
        FmrProject run = project(header(1, 1, 1, 1, c.dataType), c.bytes);
        run.readSliceData();
        ASSERT_EQ(run.volumes.size(), 1U);
        EXPECT_EQ(run.volumes[0].data, std::vector<float>{c.expected}) << c.dataType;
        EXPECT_EQ(run.readVolume(0).volume.data, std::vector<float>{c.expected}) << c.dataType;
    }
}

TEST_F(StcData, ExtraBytesAtTheEndAreIgnored) {
    FmrProject run = project(header(2, 1, 1, 1, ""), int16Bytes({5, 6, 7, 8}));
    run.readSliceData();
    EXPECT_EQ(run.volumes[0].data, (std::vector<float>{5.0F, 6.0F}));
    const StcVolume alone = run.readVolume(0);
    EXPECT_FALSE(alone.fileIsShort());
    EXPECT_EQ(alone.missingSamples, 0U);
}

TEST_F(StcData, AShortFileReadsAsZerosBeyondItsEndAndSaysSo) {
    // 2 x 1 voxels, 2 slices, 2 volumes: 8 samples demanded, 3 present.
    FmrProject run = project(header(2, 1, 2, 2, ""), int16Bytes({1, 2, 3}));
    run.readSliceData();
    ASSERT_EQ(run.volumes.size(), 2U);
    EXPECT_EQ(run.volumes[0].data, (std::vector<float>{1.0F, 2.0F, 0.0F, 0.0F}));
    EXPECT_EQ(run.volumes[1].data, (std::vector<float>{3.0F, 0.0F, 0.0F, 0.0F}));
    const StcVolume first = run.readVolume(0);
    EXPECT_EQ(first.volume.data, run.volumes[0].data);
    EXPECT_TRUE(first.fileIsShort());
    EXPECT_EQ(first.fileBytes, 6U);
    EXPECT_EQ(first.expectedBytes, 16U);
    EXPECT_EQ(first.missingSamples, 2U);
    const StcVolume second = run.readVolume(1);
    EXPECT_EQ(second.volume.data, run.volumes[1].data);
    EXPECT_EQ(second.missingSamples, 3U);
}

TEST_F(StcData, AVolumeTheFileDoesNotHoldWholeCanBeRefusedNamingBothSizes) {
    // Slice-major, 2 slices of 2 volumes: volume 0 is samples 0-1 and 4-5 (12 bytes), volume 1
    // ends with the file's 16th byte.
    FmrProject run = project(header(2, 1, 2, 2, ""), int16Bytes({1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(run.readVolume(0, ShortStcFile::Refuse).volume.data,
              (std::vector<float>{1.0F, 2.0F, 5.0F, 6.0F}));
    try {
        run.readVolume(1, ShortStcFile::Refuse);
        FAIL() << "no error";
    } catch (const FileFormatError& failure) {
        EXPECT_EQ(
            std::string(failure.what()),
            "The FMR project " + dir.file("run.fmr") +
                " describes volumes of 2 x 1 x 2 voxels of 16-bit samples, but its STC file " +
                dir.file("run.stc") + " holds 12 bytes; volume 1 needs 16.");
    }
    // Far too short for a huge volume: refused before anything is allocated.
    FmrProject huge = project(header(4096, 4096, 4, 1, ""), "");
    EXPECT_THROW(huge.readVolume(0, ShortStcFile::Refuse), FileFormatError);
}

// Found by fuzzing (fuzz/regressions/fmr_stc): millions of slices without a sample took seconds
// to read nothing.
TEST_F(StcData, ARunWithoutRowsIsRefusedAtOnceWhateverItsSliceCount) {
    FmrProject run = project(header(3, 0, 2000000000, 2, ""), int16Bytes({1, 2}));
    const std::string refusal = "The FMR project " + dir.file("run.fmr") +
                                " gives \"ResolutionY: 0\": a run needs at least one row in every "
                                "volume.";
    EXPECT_EQ(error(run, false), refusal);
    EXPECT_EQ(error(run, true), refusal);
}

TEST_F(StcData, AHeaderFarLargerThanItsFileIsRefusedBeforeAllocating) {
    // 8192 x 8192 x 16 voxels: 4 GiB of floats for one volume, over an STC of 4 bytes.
    FmrProject huge = project(header(8192, 8192, 16, 1, ""), int16Bytes({1, 2}));
    const std::string refusal = "The FMR project " + dir.file("run.fmr") +
                                " describes 1073741824 samples in volumes of 8192 x 8192 x 16 "
                                "voxels, but its STC file " +
                                dir.file("run.stc") + " holds only 4 bytes.";
    EXPECT_EQ(error(huge, false), refusal);
    EXPECT_EQ(error(huge, true), refusal);
}

TEST_F(StcData, NoVolumesStillNeedsTheFile) {
    FmrProject run = project(header(2, 2, 2, 0, ""), "");
    run.readSliceData();
    EXPECT_TRUE(run.volumes.empty());
    EXPECT_EQ(error(run, false),
              "The FMR project " + dir.file("run.fmr") + " holds no volumes (\"NrOfVolumes: 0\").");
    std::remove(dir.file("run.stc").c_str());
    EXPECT_EQ(error(run, true), "Failed opening STC for reading: " + dir.file("run.stc"));
}

TEST_F(StcData, AMissingStcIsNamedAndLeavesTheVolumesAsTheyWere) {
    FmrProject run = project(header(1, 1, 1, 1, ""), int16Bytes({4}));
    run.readSliceData();
    std::remove(dir.file("run.stc").c_str());
    try {
        run.readSliceData();
        FAIL() << "no error";
    } catch (const OpenFileError& failure) {
        EXPECT_EQ(std::string(failure.what()),
                  "Failed opening STC for reading: " + dir.file("run.stc"));
    }
    ASSERT_EQ(run.volumes.size(), 1U);
    EXPECT_EQ(run.volumes[0].data, std::vector<float>{4.0F});
    EXPECT_THROW(run.readVolume(0), OpenFileError);

    // A folder or a device where the STC should be is no STC either.
    std::filesystem::create_directory(dir.file("run.stc"));
    const std::string folder = "Failed opening STC for reading: " + dir.file("run.stc") +
                               " (a folder, not a regular file)";
    EXPECT_EQ(error(run, false), folder);
    EXPECT_EQ(error(run, true), folder);
    std::filesystem::remove(dir.file("run.stc"));
    std::filesystem::create_symlink("/dev/zero", dir.file("run.stc"));
    EXPECT_EQ(error(run, true), "Failed opening STC for reading: " + dir.file("run.stc") +
                                    " (a device, not a regular file)");
}

TEST_F(StcData, AnFmrWithoutFolderFindsItsStcInTheCurrentFolder) {
    FmrProject written = project(header(1, 1, 1, 1, ""), int16Bytes({9}));
    const std::string previous = std::filesystem::current_path().string();
    std::filesystem::current_path(dir.path());
    try {
        FmrProject run("run.fmr", true);
        EXPECT_EQ(run.stcPath(), "run.stc");
        ASSERT_EQ(run.volumes.size(), 1U);
        EXPECT_EQ(run.volumes[0].data, std::vector<float>{9.0F});
    } catch (...) {
        std::filesystem::current_path(previous);
        throw;
    }
    std::filesystem::current_path(previous);
    (void)written;
}

TEST_F(StcData, HeadersThatCannotDescribeARunAreRefusedBeforeReading) {
    const std::string fmr = dir.file("run.fmr");
    struct Case {
        std::string header;
        std::string wholeRunError;
        std::string volumeError;
    };
    const std::string noVolumes =
        "The FMR project " + fmr +
        " has no \"NrOfVolumes:\" entry, so its slice data cannot be read.";
    const std::string tooMany = "The FMR project " + fmr +
                                " describes 2000000000 volumes of 100 x 100 x 2 voxels, more than "
                                "the 2147483647 samples that can be held in memory at once.";
    const Case cases[] = {
        {"NrOfSlices: 1\nPrefix: \"run\"\nResolutionX: 1\nResolutionY: 1\n", noVolumes, noVolumes},
        {"NrOfVolumes: -2\nNrOfSlices: 1\nPrefix: \"run\"\nResolutionX: 1\nResolutionY: 1\n",
         "The FMR project " + fmr +
             " gives \"NrOfVolumes: -2\"; sizes and counts cannot be negative.",
         "The FMR project " + fmr +
             " gives \"NrOfVolumes: -2\"; sizes and counts cannot be negative."},
        {"NrOfVolumes: 1\nNrOfSlices: 1\nResolutionX: 1\nResolutionY: 1\n",
         "The FMR project " + fmr + " has no \"Prefix:\" entry naming its STC file.",
         "The FMR project " + fmr + " has no \"Prefix:\" entry naming its STC file."},
        {header(100, 100, 2, 2000000000, ""), tooMany, ""},
        {header(50000, 50000, 1, 1, ""),
         "The FMR project " + fmr +
             " describes volumes of 50000 x 50000 x 1 voxels, more than "
             "the 2147483647 one volume can hold.",
         "The FMR project " + fmr +
             " describes volumes of 50000 x 50000 x 1 voxels, more than "
             "the 2147483647 one volume can hold."},
    };
    for (const Case& c : cases) {
        const FmrProject run = project(c.header, int16Bytes({1, 2}));
        EXPECT_EQ(error(run, true), c.wholeRunError) << c.header;
        EXPECT_EQ(error(run, false), c.volumeError) << c.header;
    }
}

TEST_F(StcData, OneVolumeAloneAskedOutsideTheRunIsRefused) {
    const FmrProject run = project(header(1, 1, 1, 2, ""), int16Bytes({1, 2}));
    EXPECT_EQ(run.readVolume(1).volume.data, std::vector<float>{2.0F});
    EXPECT_THROW(run.readVolume(2), FileFormatError);
    EXPECT_THROW(run.readVolume(-1), FileFormatError);
}

} // namespace
} // namespace qm::test
