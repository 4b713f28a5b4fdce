// The confound task's SDM files do not depend on the platform: the Linux build and the Windows
// build of the plug-in, each loaded by its own Halvorn.exe, write the same bytes on the same
// generated run (CR LF line ends on both), and log the same lines. The confound table and its
// sidecar are the same too, but for the last digits of the relative RMS displacement, which rests
// on each platform's single-precision sine and cosine.
//
// The Windows build's CTest runs this program (tests/windows), with QUELMAR_HALVORN_EXE naming
// the Windows Halvorn.exe and QUELMAR_HALVORN_LAUNCHER the program that starts it; the Linux
// Halvorn.exe is the one built beside this test.
#include "HostRun.h"
#include "MotionFiles.h"
#include "SyntheticRun.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace qm::test {
namespace {

struct CrossBuildCase {
    const char* name;
    std::vector<tools::RunSpec> runs; // one run: its SDM; several: an MDM listing theirs
    const char* spikeThreshold;
};

tools::RunSpec run(const char* name, std::int32_t volumes, std::uint64_t seed, std::int32_t jumps) {
    tools::RunSpec spec;
    spec.name = name;
    spec.sizeX = 8; // the confound task reads only the motion file and the FMR header
    spec.sizeY = 8;
    spec.sizeZ = 4;
    spec.volumes = volumes;
    spec.seed = seed;
    spec.jumps = jumps;
    return spec;
}

// Writes the case's runs into `folder`; returns the value for "sdmfile".
std::string writeRuns(const CrossBuildCase& given, const std::string& folder) {
    std::vector<std::string> sdms;
    for (tools::RunSpec spec : given.runs) {
        spec.directory = folder;
        sdms.push_back(tools::writeSyntheticRun(spec).sdm);
    }
    if (sdms.size() == 1) {
        return sdms.front();
    }
    writeFile(folder + "/study.mdm", mdmText(sdms));
    return folder + "/study.mdm";
}

std::vector<std::string> confoundArguments(const CrossBuildCase& given, const std::string& folder,
                                           const std::string& sdmFile,
                                           const std::vector<std::string>& more = {}) {
    std::vector<std::string> arguments = {"--document",
                                          folder + "/" + given.runs.front().name + ".fmr"};
    for (const std::string& setting :
         {"sdmfile=" + sdmFile, std::string("spike_threshold=") + given.spikeThreshold,
          std::string("create_spikes=1"), std::string("create_detrended=1"),
          std::string("create_derivative=1"), std::string("create_squared=1"),
          std::string("create_delayed1=1"), std::string("create_delayed1sq=1"),
          std::string("create_delayed2=1"), std::string("create_delayed2sq=1")}) {
        arguments.push_back("--set");
        arguments.push_back(setting);
    }
    for (const std::string& setting : more) {
        arguments.push_back("--set");
        arguments.push_back(setting);
    }
    arguments.push_back("confound");
    return arguments;
}

// The log with the run's own folder taken out, so that two folders compare equal.
std::vector<std::string> logWithout(const HostRun& run, const std::string& folder) {
    std::vector<std::string> texts;
    for (std::string text : run.logTexts()) {
        for (auto at = text.find(folder); at != std::string::npos; at = text.find(folder)) {
            text.replace(at, folder.size(), "FOLDER");
        }
        texts.push_back(text);
    }
    return texts;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++found;
    }
    return found;
}

class CrossBuildSdm : public ::testing::TestWithParam<CrossBuildCase> {};

TEST_P(CrossBuildSdm, LinuxAndWindowsWriteTheSameFiles) {
    ASSERT_NE(std::getenv("QUELMAR_HALVORN_EXE"), nullptr)
        << "QUELMAR_HALVORN_EXE must name the Windows Halvorn.exe";
    const CrossBuildCase& given = GetParam();
    TempDir linuxDir;
    TempDir windowsDir;
    const std::string linuxFolder = linuxDir.path().string();
    const std::string windowsFolder = windowsDir.path().string();
    const std::string linuxSdm = writeRuns(given, linuxFolder);
    const std::string windowsSdm = writeRuns(given, windowsFolder);

    const HostRun onLinux = runHalvornCommand(
        builtHalvornCommand(), confoundArguments(given, linuxFolder, linuxSdm), linuxFolder);
    const HostRun onWindows =
        runHalvorn(confoundArguments(given, windowsFolder, windowsSdm), windowsFolder);
    ASSERT_EQ(onLinux.exitCode, 0) << onLinux.err;
    ASSERT_EQ(onWindows.exitCode, 0) << onWindows.err;
    EXPECT_EQ(logWithout(onWindows, windowsFolder), logWithout(onLinux, linuxFolder));

    const auto files = filesIn(linuxFolder);
    ASSERT_EQ(filesIn(windowsFolder), files);
    std::size_t written = 0;
    for (const auto& file : files) {
        if (file.size() < 4 || file.substr(file.size() - 4) != ".sdm" ||
            file.find("_3DMC.sdm") != std::string::npos) {
            continue; // an input
        }
        ++written;
        const std::string fromLinux = readFile(linuxFolder + "/" + file);
        const std::string fromWindows = readFile(windowsFolder + "/" + file);
        EXPECT_EQ(count(fromLinux, "\n"), count(fromLinux, "\r\n")) << file << ": LF without CR";
        EXPECT_TRUE(fromWindows == fromLinux) << file << " differs between the builds";
    }
    // Seven families and the spikes per run.
    EXPECT_EQ(written, 8 * given.runs.size());
}

std::vector<std::vector<std::string>> tableCells(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
        std::vector<std::string> cells;
        std::size_t from = start;
        for (std::size_t tab = text.find('\t', from); tab < end; tab = text.find('\t', from)) {
            cells.push_back(text.substr(from, tab - from));
            from = tab + 1;
        }
        cells.push_back(text.substr(from, end - from));
        rows.push_back(std::move(cells));
    }
    return rows;
}

TEST_P(CrossBuildSdm, LinuxAndWindowsWriteTheSameConfoundTable) {
    ASSERT_NE(std::getenv("QUELMAR_HALVORN_EXE"), nullptr)
        << "QUELMAR_HALVORN_EXE must name the Windows Halvorn.exe";
    const CrossBuildCase& given = GetParam();
    TempDir linuxDir;
    TempDir windowsDir;
    const std::string linuxFolder = linuxDir.path().string();
    const std::string windowsFolder = windowsDir.path().string();
    const std::vector<std::string> table = {"create_table=1", "spikes_before=1", "spikes_after=2",
                                            "head_radius=50"};
    const HostRun onLinux = runHalvornCommand(
        builtHalvornCommand(),
        confoundArguments(given, linuxFolder, writeRuns(given, linuxFolder), table), linuxFolder);
    const HostRun onWindows =
        runHalvorn(confoundArguments(given, windowsFolder, writeRuns(given, windowsFolder), table),
                   windowsFolder);
    ASSERT_EQ(onLinux.exitCode, 0) << onLinux.err;
    ASSERT_EQ(onWindows.exitCode, 0) << onWindows.err;
    EXPECT_EQ(logWithout(onWindows, windowsFolder), logWithout(onLinux, linuxFolder));

    std::size_t tables = 0;
    for (const auto& file : filesIn(linuxFolder)) {
        const std::string fromLinux = readFile(linuxFolder + "/" + file);
        const std::string fromWindows = readFile(windowsFolder + "/" + file);
        if (file.ends_with("_desc-confounds_timeseries.json")) {
            EXPECT_TRUE(fromWindows == fromLinux) << file << " differs between the builds";
        } else if (file.ends_with("_desc-confounds_timeseries.tsv")) {
            ++tables;
            EXPECT_EQ(count(fromLinux, "\r"), 0U) << file << ": lines end in LF alone";
            const auto linuxCells = tableCells(fromLinux);
            const auto windowsCells = tableCells(fromWindows);
            ASSERT_EQ(windowsCells.size(), linuxCells.size()) << file;
            ASSERT_FALSE(linuxCells.empty());
            const auto& header = linuxCells.front();
            for (std::size_t row = 0; row < linuxCells.size(); ++row) {
                ASSERT_EQ(windowsCells[row].size(), header.size()) << file << " row " << row;
                for (std::size_t c = 0; c < header.size(); ++c) {
                    const std::string& a = linuxCells[row][c];
                    const std::string& b = windowsCells[row][c];
                    if (row > 0 && header[c] == "relative_rms" && a != "n/a") {
                        const double x = std::stod(a);
                        EXPECT_NEAR(std::stod(b), x, 1e-6 * x + 1e-9) << file << " row " << row;
                    } else {
                        EXPECT_EQ(b, a) << file << " row " << row << ", " << header[c];
                    }
                }
            }
        }
    }
    EXPECT_EQ(tables, given.runs.size());
}

INSTANTIATE_TEST_SUITE_P(
    GeneratedRuns, CrossBuildSdm,
    ::testing::Values(
        CrossBuildCase{"one_run", {run("run1", 200, 1, 3)}, "0.3"},
        CrossBuildCase{"mdm_of_two_runs", {run("run1", 120, 2, 2), run("run2", 90, 3, 4)}, "0.25"}),
    [](const ::testing::TestParamInfo<CrossBuildCase>& info) {
        return std::string(info.param.name);
    });

} // namespace
} // namespace qm::test
