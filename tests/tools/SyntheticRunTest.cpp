// The synthetic run generator: files the host's readers accept, fixed by the seed, with the
// head image and the motion the tests and benchmarks rely on.
#include "SyntheticRun.h"
#include "FmrProject.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace qm::test {
namespace {

using tools::RunSpec;
using tools::SampleType;

RunSpec smallSpec(const TempDir& dir) {
    RunSpec spec;
    spec.directory = dir.path().string();
    spec.sizeX = 12;
    spec.sizeY = 10;
    spec.sizeZ = 6;
    spec.volumes = 40;
    spec.voxelX = 2.5F;
    spec.voxelY = 2.0F;
    spec.voxelZ = 3.5F;
    spec.jumps = 3;
    spec.seed = 7;
    return spec;
}

// The data lines of an SDM as numbers, one vector per line.
std::vector<std::vector<float>> sdmRows(const std::string& text) {
    std::vector<std::vector<float>> rows;
    std::istringstream lines(text);
    std::string line;
    bool afterNames = false;
    while (std::getline(lines, line)) {
        if (!afterNames) {
            afterNames = line.find('"') != std::string::npos;
            continue;
        }
        std::vector<float> row;
        const char* cursor = line.data();
        const char* end = line.data() + line.size();
        while (cursor < end) {
            while (cursor < end && (*cursor == ' ' || *cursor == '\r')) {
                ++cursor;
            }
            if (cursor == end) {
                break;
            }
            float value = 0.0F;
            cursor = std::from_chars(cursor, end, value).ptr;
            row.push_back(value);
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(SyntheticRun, WritesAnFmrProjectThatTheReaderAcceptsWithItsSizes) {
    TempDir dir;
    RunSpec spec = smallSpec(dir);
    spec.sampleType = SampleType::Float32;
    const auto files = tools::writeSyntheticRun(spec);
    EXPECT_EQ(files.fmr, dir.file("run.fmr"));
    EXPECT_EQ(files.sdm, dir.file("run_3DMC.sdm"));

    const FmrProject project(files.fmr, false);
    EXPECT_EQ(project.nrOfVolumes.value, 40);
    EXPECT_EQ(project.resolutionX.value, 12);
    EXPECT_EQ(project.resolutionY.value, 10);
    EXPECT_EQ(project.nrOfSlices.value, 6);
    EXPECT_EQ(project.prefix.value, "run");
    EXPECT_EQ(project.dataType.value, 2);
    EXPECT_EQ(project.inplaneResolutionX.value, 2.5F);
    EXPECT_EQ(project.inplaneResolutionY.value, 2.0F);
    EXPECT_EQ(project.sliceThickness.value, 3.5F);
    EXPECT_EQ(project.sliceGap.value, 0.0F);
    EXPECT_EQ(project.positionSliceThickness.value, 3.5F);
    EXPECT_EQ(project.sliceTimingTable.size(), 6U);
    EXPECT_EQ(project.stcPath(), files.stc);
    EXPECT_EQ(std::filesystem::file_size(files.stc), 12U * 10 * 6 * 40 * 4);
    EXPECT_NE(readFile(files.fmr).find("\r\n"), std::string::npos);
}

TEST(SyntheticRun, SixteenBitSamplesTakeTwoBytes) {
    TempDir dir;
    const auto files = tools::writeSyntheticRun(smallSpec(dir));
    EXPECT_EQ(FmrProject(files.fmr, false).dataType.value, 1);
    EXPECT_EQ(std::filesystem::file_size(files.stc), 12U * 10 * 6 * 40 * 2);
}

TEST(SyntheticRun, TheSameSeedGivesTheSameFilesAndAnotherSeedOthers) {
    TempDir first;
    TempDir second;
    TempDir third;
    const auto a = tools::writeSyntheticRun(smallSpec(first));
    const auto b = tools::writeSyntheticRun(smallSpec(second));
    RunSpec other = smallSpec(third);
    other.seed = 8;
    const auto c = tools::writeSyntheticRun(other);
    EXPECT_EQ(readFile(a.stc), readFile(b.stc));
    EXPECT_EQ(readFile(a.sdm), readFile(b.sdm));
    EXPECT_NE(readFile(a.stc), readFile(c.stc));
    EXPECT_NE(readFile(a.sdm), readFile(c.sdm));
}

TEST(SyntheticRun, TheHeadIsBrightAndTheBackgroundDark) {
    TempDir dir;
    const RunSpec spec = smallSpec(dir);
    EXPECT_GT(tools::headIntensity(spec, 6, 5, 3), 3 * tools::kBrainThreshold);
    EXPECT_LT(tools::headIntensity(spec, 0, 0, 0), tools::kBrainThreshold / 3);
    EXPECT_LT(tools::headIntensity(spec, 11, 9, 5), tools::kBrainThreshold / 3);
}

TEST(SyntheticRun, MotionStartsAtZeroDriftsAndJumpsAsOftenAsAsked) {
    TempDir dir;
    RunSpec spec = smallSpec(dir);
    spec.volumes = 300;
    spec.jumps = 4;
    const auto files = tools::writeSyntheticRun(spec);
    const std::string text = readFile(files.sdm);
    EXPECT_EQ(text.rfind("FileVersion:            1\r\n\r\nNrOfPredictors:         6\r\n"
                         "NrOfDataPoints:         300\r\n",
                         0),
              0U);
    EXPECT_NE(text.find("\"Translation X [mm]\" \"Translation Y [mm]\""), std::string::npos);
    const auto rows = sdmRows(text);
    ASSERT_EQ(rows.size(), 300U);
    EXPECT_EQ(rows[0], std::vector<float>(6, 0.0F));
    int jumps = 0;
    float largest = 0.0F;
    for (std::size_t v = 1; v < rows.size(); ++v) {
        ASSERT_EQ(rows[v].size(), 6U);
        float step = 0.0F;
        for (std::size_t p = 0; p < 3; ++p) {
            step = std::max(step, std::fabs(rows[v][p] - rows[v - 1][p]));
        }
        jumps += step > 0.25F ? 1 : 0;
        for (float value : rows[v]) {
            largest = std::max(largest, std::fabs(value));
        }
    }
    EXPECT_EQ(jumps, 4);
    EXPECT_GT(largest, 0.1F) << "the head moves";
    EXPECT_LE(largest, 8.0F);
}

TEST(SyntheticRun, ConstantMotionRepeatsOneRow) {
    TempDir dir;
    RunSpec spec = smallSpec(dir);
    spec.volumes = 3;
    spec.constantMotion = tools::MotionParameters{1.0F, 0.0F, -2.5F, 0.0F, 0.0F, 0.25F};
    const auto rows = sdmRows(readFile(tools::writeSyntheticRun(spec).sdm));
    EXPECT_EQ(rows, std::vector<std::vector<float>>(3, {1.0F, 0.0F, -2.5F, 0.0F, 0.0F, 0.25F}));
    EXPECT_NE(readFile(dir.file("run_3DMC.sdm")).find("\r\n  1.000000   0.000000  -2.500000"),
              std::string::npos);
}

TEST(SyntheticRun, RefusesImpossibleSpecs) {
    TempDir dir;
    RunSpec spec = smallSpec(dir);
    spec.sizeX = 0;
    EXPECT_THROW(tools::writeSyntheticRun(spec), std::invalid_argument);
    spec = smallSpec(dir);
    spec.directory = dir.file("missing");
    EXPECT_THROW(tools::writeSyntheticRun(spec), std::runtime_error);
}

} // namespace
} // namespace qm::test
