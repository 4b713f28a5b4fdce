// Halvorn.exe's dialog parameters from files (--params) and --set, and the warnings after a run
// about parameters given but never read, or read but never given.
#include "HostRun.h"
#include "SyntheticRun.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace qm::test {
namespace {

constexpr const char* kWarning = "Halvorn.exe: warning: ";

class HalvornParams : public ::testing::Test {
protected:
    void SetUp() override {
        tools::RunSpec spec;
        spec.directory = dir.path().string();
        spec.sizeX = 8;
        spec.sizeY = 8;
        spec.sizeZ = 4;
        spec.volumes = 16;
        tools::writeSyntheticRun(spec);
    }
    HostRun run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--document", "run.fmr"});
        return runHalvorn(arguments, dir.path().string());
    }
    // The lines of stderr that are host warnings about parameters.
    static std::vector<std::string> parameterWarnings(const HostRun& result) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < result.err.size()) {
            const auto end = result.err.find('\n', start);
            const std::string line = result.err.substr(start, end - start);
            if (line.starts_with(kWarning) && line.find("parameter \"") != std::string::npos) {
                lines.push_back(line.substr(std::string(kWarning).size()));
            }
            start = end == std::string::npos ? result.err.size() : end + 1;
        }
        return lines;
    }
    static std::string valueRead(const HostRun& result, const std::string& name) {
        for (const auto& call : result.transcript) {
            if (call.contains("call") && call.contains("name") && call["name"] == name &&
                call["call"].get<std::string>().starts_with("ztGet")) {
                return call["value"].dump();
            }
        }
        return "not read";
    }
    static std::string shippedDefaults() {
        return (std::filesystem::path(halvornExecutable()).parent_path() /
                "quelmar-defaults.params")
            .string();
    }
    TempDir dir;
};

// Every confound option, so that no warning is expected from the confound task.
constexpr const char* kConfoundFile = "# confound options\n"
                                      "spike_threshold = 0.25\n"
                                      "create_detrended=1\n"
                                      "create_derivative=0\n"
                                      "create_spikes=1\n"
                                      "create_squared=0\n"
                                      "create_delayed1=0\n"
                                      "create_delayed1sq=0\n"
                                      "create_delayed2=0\n"
                                      "create_delayed2sq=0\n"
                                      "plot_regular=0\n"
                                      "plot_detrended=0\n"
                                      "sdmfile=run_3DMC.sdm\n";

TEST_F(HalvornParams, AFileGivesTheTaskItsValuesAndSetOverridesThem) {
    writeFile(dir.file("confound.params"), kConfoundFile);
    const HostRun fromFile = run({"--params", "confound.params", "confound"});
    ASSERT_EQ(fromFile.exitCode, 0) << fromFile.err;
    EXPECT_EQ(valueRead(fromFile, "spike_threshold"), "0.25");
    EXPECT_EQ(valueRead(fromFile, "sdmfile"), "\"run_3DMC.sdm\"");
    EXPECT_EQ(fromFile.err, "");
    EXPECT_TRUE(std::filesystem::exists(dir.file("run_3DMC_detr.sdm")));

    const HostRun overridden = run({"--set", "spike_threshold=2", "--params", "confound.params",
                                    "--set", "create_squared=1", "confound"});
    ASSERT_EQ(overridden.exitCode, 0) << overridden.err;
    EXPECT_EQ(valueRead(overridden, "spike_threshold"), "2.0");
    EXPECT_EQ(valueRead(overridden, "create_squared"), "1");
    EXPECT_EQ(overridden.err, "");
}

TEST_F(HalvornParams, ALaterFileOverridesAnEarlierOne) {
    writeFile(dir.file("confound.params"), kConfoundFile);
    writeFile(dir.file("strict.params"), "spike_threshold=0.2\n");
    const HostRun result =
        run({"--params", "confound.params", "--params", "strict.params", "confound"});
    EXPECT_EQ(valueRead(result, "spike_threshold"), "0.20000000298023224");
    EXPECT_EQ(result.err, "");
}

TEST_F(HalvornParams, AMisspeltNameIsReportedBothWays) {
    std::string text = kConfoundFile;
    const std::string correct = "create_spikes=1";
    text.replace(text.find(correct), correct.size(), "create_spiks=1");
    writeFile(dir.file("typo.params"), text);
    const HostRun result = run({"--params", "typo.params", "confound"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(parameterWarnings(result),
              (std::vector<std::string>{
                  "parameter \"create_spiks\" (typo.params line 5) was given but the plug-in "
                  "never read it",
                  "the plug-in read parameter \"create_spikes\", which was never given; it read "
                  "as \"\", 0 or 0.0"}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("run_3DMC_spikes.sdm")))
        << "the misspelt switch left spike detection off";
}

TEST_F(HalvornParams, SetIsCheckedLikeAFileAndTaskIsNeverReported) {
    const HostRun result = run({"--set", "task=displacement", "--set", "plot_regulr=1", "--set",
                                "sdmfile=run_3DMC.sdm", "select_3dmcsdm"});
    // The selection task's file dialog is cancelled: it reads no parameter but "task".
    EXPECT_EQ(parameterWarnings(result),
              (std::vector<std::string>{
                  "parameter \"plot_regulr\" (--set) was given but the plug-in never read it",
                  "parameter \"sdmfile\" (--set) was given but the plug-in never read it"}));
}

TEST_F(HalvornParams, WhatTheSelectionTaskStoresCountsAsGiven) {
    writeFile(dir.file("confound.params"), kConfoundFile);
    std::string text = kConfoundFile;
    text.erase(text.find("sdmfile="));
    writeFile(dir.file("no-path.params"), text);
    const HostRun result = run(
        {"--params", "no-path.params", "--choose", "run_3DMC.sdm", "select_3dmcsdm", "confound"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

TEST_F(HalvornParams, TheShippedDefaultsCoverTheTasksThatRan) {
    const HostRun result = run(
        {"--params", shippedDefaults(), "--choose", "run_3DMC.sdm", "select_3dmcsdm", "confound"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    // Only the displacement task's own options are left unread.
    std::set<std::string> unread;
    for (const std::string& warning : parameterWarnings(result)) {
        ASSERT_TRUE(warning.starts_with("parameter \"")) << warning;
        EXPECT_NE(warning.find("quelmar-defaults.params line "), std::string::npos) << warning;
        unread.insert(warning.substr(11, warning.find('"', 11) - 11));
    }
    EXPECT_EQ(unread, (std::set<std::string>{"fmr_threshold", "map_max_abs", "map_max_abs_x",
                                             "map_max_abs_y", "map_max_abs_z", "map_max_rel",
                                             "map_mean_abs", "map_mean_rel"}));
    EXPECT_EQ(valueRead(result, "spike_threshold"), "0.5");
}

TEST_F(HalvornParams, AMalformedOrMissingFileStopsBeforeThePluginLoads) {
    writeFile(dir.file("bad.params"), "# header\nspike_threshold 0.5\n");
    const HostRun malformed = run({"--params", "bad.params", "confound"});
    EXPECT_EQ(malformed.exitCode, 2);
    EXPECT_EQ(malformed.err,
              "Halvorn.exe: bad.params:2: expected NAME=VALUE, got \"spike_threshold 0.5\"\n");
    EXPECT_TRUE(malformed.calls("ztGetVersionOfHalvornZT").empty());

    const HostRun missing = run({"--params", "none.params", "confound"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err, "Halvorn.exe: cannot open the parameter file none.params\n");
}

} // namespace
} // namespace qm::test
