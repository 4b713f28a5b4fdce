// The displacement task's "threads" parameter as a user of Halvorn.exe sees it: any number of
// threads saves the very bytes one thread saves, and a count it cannot use is refused before
// the task reads anything.
#include "HostRun.h"
#include "SyntheticRun.h"
#include "TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace qm::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kMapSuffixes[] = {
    "_MaxAbsolute.nii",  "_MeanAbsolute.nii", "_MeanRelative.nii", "_MaxRelative.nii",
    "_MaxAbsoluteX.nii", "_MaxAbsoluteY.nii", "_MaxAbsoluteZ.nii"};

class DisplacementThreads : public ::testing::Test {
protected:
    void SetUp() override {
        tools::RunSpec spec;
        spec.directory = dir.path().string();
        // Rows of 37 voxels: more than one group of lanes on every kernel, with a remainder.
        spec.sizeX = 37;
        spec.sizeY = 11;
        spec.sizeZ = 5;
        spec.volumes = 20;
        spec.seed = 5;
        files = tools::writeSyntheticRun(spec);
    }

    HostRun displacement(const std::string& threads) {
        std::vector<std::string> arguments = {"displacement", "--document", files.fmr, "--set",
                                              "sdmfile=" + files.sdm};
        const std::vector<std::string> settings = {
            "fmr_threshold=150", "plot_regular=0",  "plot_detrended=0",  "map_max_abs=1",
            "map_mean_abs=1",    "map_max_rel=1",   "map_mean_rel=1",    "map_max_abs_x=1",
            "map_max_abs_y=1",   "map_max_abs_z=1", "threads=" + threads};
        for (const std::string& setting : settings) {
            arguments.insert(arguments.end(), {"--set", setting});
        }
        return runHalvorn(arguments, dir.path().string());
    }

    // The bytes of every map file, which the next run replaces.
    std::map<std::string, std::string> mapBytes() const {
        std::map<std::string, std::string> bytes;
        for (const char* suffix : kMapSuffixes) {
            const std::string path = dir.file(std::string("run_3DMC") + suffix);
            bytes[suffix] = fs::exists(path) ? readFile(path) : "missing";
        }
        return bytes;
    }

    static bool anyMapFile(const fs::path& folder) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().extension() == ".nii") {
                return true;
            }
        }
        return false;
    }

    TempDir dir;
    tools::RunFiles files;
};

TEST_F(DisplacementThreads, AnyNumberOfThreadsSavesTheBytesOfOneThread) {
    const HostRun one = displacement("1");
    ASSERT_EQ(one.exitCode, 0) << one.err;
    const std::map<std::string, std::string> expected = mapBytes();
    for (const auto& [suffix, bytes] : expected) {
        ASSERT_NE(bytes, "missing") << suffix;
    }
    ASSERT_GT(one.calls("ztSetMAPParametersOfCurrentFMR").at(0)["upperValue"].get<float>(), 0.0F)
        << "the head moves, so the maps hold more than zeros";
    for (const std::string threads : {"0", "2", "3", "7", "256"}) {
        const HostRun run = displacement(threads);
        ASSERT_EQ(run.exitCode, 0) << threads << " threads\n" << run.err;
        EXPECT_TRUE(run.messageBoxes().empty()) << threads << " threads";
        EXPECT_EQ(run.logTexts(), one.logTexts()) << threads << " threads";
        EXPECT_TRUE(mapBytes() == expected) << threads << " threads: the maps differ";
        const auto parameters = run.calls("ztSetMAPParametersOfCurrentFMR");
        const auto parametersOfOne = one.calls("ztSetMAPParametersOfCurrentFMR");
        ASSERT_EQ(parameters.size(), parametersOfOne.size());
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            EXPECT_EQ(parameters[i]["upperValue"], parametersOfOne[i]["upperValue"]) << i;
        }
    }
}

TEST_F(DisplacementThreads, ACountItCannotUseIsRefusedBeforeTheTaskReadsAnything) {
    for (const std::string threads : {"-1", "-2147483648", "257"}) {
        const HostRun run = displacement(threads);
        EXPECT_EQ(run.exitCode, 1) << threads;
        ASSERT_EQ(run.messageBoxes().size(), 1U) << threads << "\n" << run.err;
        EXPECT_EQ(run.messageBoxes()[0],
                  "Error: The parameter \"threads\" is " + threads +
                      ": give the number of threads for the displacement, from 0 to 256 (0 or "
                      "1: one thread).");
        for (const std::string& line : run.logTexts()) {
            EXPECT_THAT(line, ::testing::Not(HasSubstr("FMR size"))) << "nothing was read";
        }
        EXPECT_TRUE(run.calls("ztGetHeaderOfCurrentFMR").empty()) << threads;
        EXPECT_TRUE(run.calls("ztCreateMAPForCurrentFMR").empty()) << threads;
        EXPECT_FALSE(anyMapFile(dir.path())) << threads;
        EXPECT_THAT(run.messageBoxes()[0], StartsWith("Error: The parameter \"threads\""));
    }
}

} // namespace
} // namespace qm::test
