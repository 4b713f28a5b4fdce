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
    // The names of the files in the run's folder.
    static std::set<std::string> filesIn(const std::filesystem::path& folder) {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (!name.starts_with(".halvorn")) {
                names.insert(name);
            }
        }
        return names;
    }
    TempDir dir;
};

// Every option of the displacement task, so that no warning is expected from it.
constexpr const char* kDisplacementFile = "# displacement options\n"
                                          "fmr_threshold = 150.5\n"
                                          "map_max_abs=1\n"
                                          "map_mean_abs=0\n"
                                          "map_max_rel=0\n"
                                          "map_mean_rel=0\n"
                                          "map_max_abs_x=0\n"
                                          "map_max_abs_y=0\n"
                                          "map_max_abs_z=0\n"
                                          "plot_regular=0\n"
                                          "plot_detrended=0\n"
                                          "threads=1\n"
                                          "sdmfile=run_3DMC.sdm\n";

TEST_F(HalvornParams, AFileGivesTheTaskItsValuesAndSetOverridesThem) {
    writeFile(dir.file("displacement.params"), kDisplacementFile);
    const HostRun fromFile = run({"--params", "displacement.params", "displacement"});
    ASSERT_EQ(fromFile.exitCode, 0) << fromFile.err;
    EXPECT_EQ(valueRead(fromFile, "fmr_threshold"), "150.5");
    EXPECT_EQ(valueRead(fromFile, "sdmfile"), "\"run_3DMC.sdm\"");
    EXPECT_EQ(fromFile.err, "");
    EXPECT_TRUE(std::filesystem::exists(dir.file("run_3DMC_MaxAbsolute.nii")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("run_3DMC_MeanAbsolute.nii")));

    const HostRun overridden = run({"--set", "fmr_threshold=2", "--params", "displacement.params",
                                    "--set", "map_mean_abs=1", "displacement"});
    ASSERT_EQ(overridden.exitCode, 0) << overridden.err;
    EXPECT_EQ(valueRead(overridden, "fmr_threshold"), "2.0") << "--set wins wherever it stands";
    EXPECT_EQ(valueRead(overridden, "map_mean_abs"), "1");
    EXPECT_EQ(overridden.err, "");
    EXPECT_TRUE(std::filesystem::exists(dir.file("run_3DMC_MeanAbsolute.nii")));
}

TEST_F(HalvornParams, ALaterFileOverridesAnEarlierOne) {
    writeFile(dir.file("displacement.params"), kDisplacementFile);
    writeFile(dir.file("strict.params"), "fmr_threshold=200\n");
    const HostRun result =
        run({"--params", "displacement.params", "--params", "strict.params", "displacement"});
    EXPECT_EQ(valueRead(result, "fmr_threshold"), "200.0");
    EXPECT_EQ(result.err, "");
}

TEST_F(HalvornParams, AMisspeltNameIsReportedBothWays) {
    std::string text = kDisplacementFile;
    const std::string correct = "map_max_abs=1";
    text.replace(text.find(correct), correct.size(), "map_maxabs=1");
    writeFile(dir.file("typo.params"), text);
    const HostRun result = run({"--params", "typo.params", "displacement"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(parameterWarnings(result),
              (std::vector<std::string>{
                  "parameter \"map_maxabs\" (typo.params line 3) is not a parameter of any task "
                  "of the plug-in; did you mean \"map_max_abs\"?",
                  "the plug-in read parameter \"map_max_abs\", which was never given; it read "
                  "as \"\", 0 or 0.0"}));
    EXPECT_LT(result.err.find("map_maxabs"), result.err.find("map_max_abs\", which"))
        << "the unknown name comes first";
    EXPECT_FALSE(std::filesystem::exists(dir.file("run_3DMC_MaxAbsolute.nii")))
        << "the misspelt switch left the map off";
}

TEST_F(HalvornParams, SetIsCheckedLikeAFileAndTaskIsNeverReported) {
    const HostRun result = run({"--set", "task=displacement", "--set", "plot_regulr=1", "--set",
                                "sdmfile=run_3DMC.sdm", "select_3dmcsdm"});
    // The selection task's file dialog is cancelled: it reads no parameter but "task". It
    // stores "sdmfile" but does not read it, so the given "sdmfile" is not reported.
    EXPECT_EQ(parameterWarnings(result),
              (std::vector<std::string>{"parameter \"plot_regulr\" (--set) is not a parameter of "
                                        "any task of the plug-in; did you mean "
                                        "\"plot_regular\"?"}));
}

TEST_F(HalvornParams, WhatTheSelectionTaskStoresCountsAsGiven) {
    writeFile(dir.file("displacement.params"), kDisplacementFile);
    std::string text = kDisplacementFile;
    text.erase(text.find("sdmfile="));
    writeFile(dir.file("no-path.params"), text);
    const HostRun result = run({"--params", "no-path.params", "--choose", "run_3DMC.sdm",
                                "select_3dmcsdm", "displacement"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

TEST_F(HalvornParams, TheShippedDefaultsCoverTheTasksThatRan) {
    const HostRun result = run({"--params", shippedDefaults(), "--choose", "run_3DMC.sdm",
                                "select_3dmcsdm", "displacement"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    // The confound task's own options are left unread, but it did not run: nothing to say.
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(valueRead(result, "fmr_threshold"), "100.0");
}

// The useful warning used to be the last of nine, behind notices about the displacement task's
// parameters, which were given by the defaults file but whose task never ran.
TEST_F(HalvornParams, AMisspeltNameIsTheFirstWarningAndTasksThatDidNotRunAreQuiet) {
    std::string defaults = readFile(shippedDefaults());
    const std::string line = "\nspike_threshold=";
    ASSERT_NE(defaults.find(line), std::string::npos);
    defaults.replace(defaults.find(line), line.size(), "\nspike_treshold=");
    writeFile(dir.file("mine.params"), defaults);
    const HostRun result =
        run({"--params", "mine.params", "--set", "sdmfile=run_3DMC.sdm", "confound"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const auto warnings = parameterWarnings(result);
    ASSERT_EQ(warnings.size(), 2U) << result.err;
    EXPECT_TRUE(warnings[0].starts_with("parameter \"spike_treshold\" (mine.params line "))
        << warnings[0];
    EXPECT_TRUE(warnings[0].ends_with(") is not a parameter of any task of the plug-in; did you "
                                      "mean \"spike_threshold\"?"))
        << warnings[0];
    EXPECT_EQ(warnings[1], "the plug-in read parameter \"spike_threshold\", which was never given; "
                           "it read as \"\", 0 or 0.0");
}

TEST_F(HalvornParams, AnUnknownTaskStopsTheRunBeforeThePluginStarts) {
    const HostRun result = run({"--set", "sdmfile=run_3DMC.sdm", "confounds", "displacement"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Halvorn.exe: error: the plug-in has no task \"confounds\"; did you "
                          "mean \"confound\"?\n"
                          "Halvorn.exe: the plug-in's tasks are select_3dmcsdm, confound and "
                          "displacement\n");
    EXPECT_TRUE(result.calls("ztGetVersionOfHalvornZT").empty()) << "initPlugin never ran";
    EXPECT_EQ(filesIn(dir.path()), (std::set<std::string>{"run.fmr", "run.stc", "run_3DMC.sdm"}));
}

TEST_F(HalvornParams, WithoutItsDialogScriptTheNamesAreNotCheckedAndTheRunSaysSo) {
    // A copy of the plug-in in a folder of its own, without Quelmar.js beside it.
    const std::filesystem::path library =
        std::filesystem::path(halvornExecutable()).parent_path() / "Quelmar.so";
    if (runsUnderLauncher() || !std::filesystem::exists(library)) {
        GTEST_SKIP() << "the Windows plug-in is tested through its own folder";
    }
    std::filesystem::create_directory(dir.file("alone"));
    std::filesystem::copy_file(library, dir.file("alone/Quelmar.so"));
    const HostRun result =
        run({"--plugin", dir.file("alone/Quelmar.so"), "--set", "colour=red", "confounds"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find("Halvorn.exe: warning: cannot read the dialog script " +
                              dir.file("alone/Quelmar.js") +
                              ", so task and parameter names are not checked\n"),
              0U)
        << result.err;
}

TEST_F(HalvornParams, AMalformedOrMissingFileStopsBeforeThePluginLoads) {
    writeFile(dir.file("bad.params"), "# header\nfmr_threshold 100\n");
    const HostRun malformed = run({"--params", "bad.params", "displacement"});
    EXPECT_EQ(malformed.exitCode, 2);
    EXPECT_EQ(malformed.err,
              "Halvorn.exe: error: bad.params:2: expected NAME=VALUE, got \"fmr_threshold 100\"\n");
    EXPECT_TRUE(malformed.calls("ztGetVersionOfHalvornZT").empty());

    const HostRun missing = run({"--params", "none.params", "displacement"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err, "Halvorn.exe: error: cannot open the parameter file none.params\n");
}

// A folder used to read as an empty file, and /dev/zero until memory ran out.
TEST_F(HalvornParams, AParameterFileThatIsNoTextFileIsRefused) {
    std::filesystem::create_directory(dir.file("settings"));
    std::string comments;
    while (comments.size() <= 1024 * 1024) {
        comments += "# a comment line that makes the file larger than any parameter file\n";
    }
    writeFile(dir.file("huge.params"), comments);
    writeFile(dir.file("binary.params"), std::string("fmr_threshold=1\n\0\x01", 19));
    std::vector<std::pair<std::string, std::string>> cases = {
        {"settings", "the parameter file settings is a folder, not a file"},
        {"huge.params", "the parameter file huge.params is larger than 1 MiB; a parameter file "
                        "holds NAME=VALUE lines"},
        {"binary.params", "the parameter file binary.params holds a NUL byte, so it is not a "
                          "text file"},
    };
    if (!runsUnderLauncher()) { // Wine has no /dev/zero to offer a Windows program
        cases.emplace_back(
            "/dev/zero", "the parameter file /dev/zero holds a NUL byte, so it is not a text file");
    }
    for (const auto& [file, message] : cases) {
        const HostRun result = run({"--params", file, "displacement"});
        EXPECT_EQ(result.exitCode, 2) << file;
        EXPECT_EQ(result.err, "Halvorn.exe: error: " + message + "\n") << file;
        EXPECT_TRUE(result.calls("ztGetVersionOfHalvornZT").empty()) << file;
    }
}

// ---- Values the getters cannot read

struct UnreadableValue {
    const char* parameter; // read by the confound task, with the getter of its kind
    const char* value;
    const char* kind; // as the message says it
};

class UnreadableValues : public HalvornParams,
                         public ::testing::WithParamInterface<UnreadableValue> {};

// Such values used to read as 0 (or cut: "1.9" as 1): "spike_threshold=0,5" flagged nearly every
// volume, "create_detrended=yes" switched the family off.
TEST_P(UnreadableValues, StopTheRunAtTheGetterBeforeTheTaskWritesAnything) {
    const auto [parameter, value, kind] = GetParam();
    std::set<std::string> filesBefore;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        filesBefore.insert(entry.path().filename().string());
    }
    const HostRun result =
        run({"--set", "sdmfile=run_3DMC.sdm", "--set", "spike_threshold=0.5", "--set",
             "create_detrended=1", "--set", std::string(parameter) + "=" + value, "confound"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, std::string("Halvorn.exe: error: parameter ") + parameter + "=\"" +
                              value + "\" is not " + kind + "\n");
    std::set<std::string> filesAfter;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        filesAfter.insert(entry.path().filename().string());
    }
    EXPECT_EQ(filesAfter, filesBefore) << "nothing written";
    ASSERT_FALSE(result.transcript.empty());
    EXPECT_EQ(result.transcript.back()["host"], "stopped");
    const auto& refused = result.transcript[result.transcript.size() - 2];
    EXPECT_EQ(refused["name"], parameter);
    EXPECT_EQ(refused["text"], value);
    EXPECT_TRUE(refused["value"].is_null());
}

INSTANTIATE_TEST_SUITE_P(
    Values, UnreadableValues,
    ::testing::Values(UnreadableValue{"spike_threshold", "0,5", "a number"},
                      UnreadableValue{"spike_threshold", "1e400", "a number"},
                      UnreadableValue{"spike_threshold", "abc", "a number"},
                      UnreadableValue{"spike_threshold", "", "a number"},
                      UnreadableValue{"spike_threshold", "0.5mm", "a number"},
                      UnreadableValue{"spike_threshold", "inf", "a number"},
                      UnreadableValue{"spike_threshold", "nan", "a number"},
                      UnreadableValue{"create_detrended", "yes", "an integer"},
                      UnreadableValue{"create_detrended", "true", "an integer"},
                      UnreadableValue{"create_detrended", "on", "an integer"},
                      UnreadableValue{"create_detrended", "1.9", "an integer"},
                      UnreadableValue{"create_detrended", "", "an integer"},
                      UnreadableValue{"create_detrended", "99999999999", "an integer"}),
    [](const ::testing::TestParamInfo<UnreadableValue>& info) {
        std::string name = std::string(info.param.parameter) + "_" + std::to_string(info.index);
        return name;
    });

// The task then stops for want of a motion file (status 1); what counts here is that the getter
// read the value instead of stopping the run (status 2).
TEST_F(HalvornParams, NumbersWithBlanksSignsAndExponentsAreRead) {
    const std::pair<std::string, std::string> floats[] = {
        {" 0.5\t", "0.5"}, {"+0.5", "0.5"}, {"5e-1", "0.5"}, {".5", "0.5"}, {"-2", "-2.0"}};
    for (const auto& [text, read] : floats) {
        const HostRun result = run({"--set", "fmr_threshold=" + text, "displacement"});
        EXPECT_NE(result.exitCode, 2) << text << result.err;
        EXPECT_EQ(valueRead(result, "fmr_threshold"), read) << text;
    }
    const std::pair<std::string, std::string> integers[] = {
        {" 1 ", "1"}, {"+1", "1"}, {"-0", "0"}, {"007", "7"}};
    for (const auto& [text, read] : integers) {
        const HostRun result = run({"--set", "map_max_abs=" + text, "displacement"});
        EXPECT_NE(result.exitCode, 2) << text << result.err;
        EXPECT_EQ(valueRead(result, "map_max_abs"), read) << text;
    }
}

TEST_F(HalvornParams, TheTranscriptKeepsTheValueAsGivenBesideWhatThePluginGot) {
    writeFile(dir.file("displacement.params"), kDisplacementFile);
    const HostRun result =
        run({"--params", "displacement.params", "--set", "fmr_threshold=0.10", "displacement"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    for (const auto& call : result.calls("ztGetFloatParameter")) {
        EXPECT_EQ(call["text"], "0.10");
        EXPECT_EQ(call["value"].get<float>(), 0.1F);
    }
    for (const auto& call : result.calls("ztGetIntParameter")) {
        if (call["name"] == "map_max_abs") {
            EXPECT_EQ(call["text"], "1") << "from the file, trimmed as the file's values are";
        }
    }
}

} // namespace
} // namespace qm::test
