// Faults from outside the plug-in, end to end through Halvorn.exe: a folder that cannot be
// written, a disk that fills up part way through a file, input files removed or cut short
// between choosing them and using them, and paths as long as the host's 512-byte text buffers
// or longer. After each the user is shown exactly one "Error: " message, the host process lives
// on (exit status 1, not a signal), the files of an earlier run are unchanged, and no temporary
// file is left behind.
#include "AtomicFileWriter.h"
#include "HostRun.h"
#include "SyntheticRun.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

using Snapshot = std::map<std::string, std::string>; // file name -> content

// Every file of `folder` with its bytes.
Snapshot snapshotOf(const fs::path& folder) {
    Snapshot files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[entry.path().filename().string()] = readFile(entry.path().string());
        }
    }
    return files;
}

std::vector<std::string> namesIn(const Snapshot& files) {
    std::vector<std::string> names;
    for (const auto& [name, content] : files) {
        names.push_back(name);
    }
    return names;
}

bool isTemporaryFileName(const std::string& name) {
    return isAtomicWriteTemporaryName(name);
}

// A folder whose permission bits are set for the lifetime of the object.
class FolderMode {
public:
    FolderMode(const fs::path& folder, fs::perms mode)
        : folder_(folder), previous_(fs::status(folder).permissions()) {
        fs::permissions(folder_, mode);
    }
    ~FolderMode() { fs::permissions(folder_, previous_); }
    FolderMode(const FolderMode&) = delete;
    FolderMode& operator=(const FolderMode&) = delete;

private:
    fs::path folder_;
    fs::perms previous_;
};

// A run of `volumes` volumes in data/ (FMR, STC, 3DMC SDM), its document, and the tasks on it.
class FaultInjection : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(data); }

    tools::RunFiles generateRun(std::int32_t volumes) {
        tools::RunSpec spec;
        spec.directory = data.string();
        spec.sizeX = 8;
        spec.sizeY = 8;
        spec.sizeZ = 4;
        spec.volumes = volumes;
        spec.jumps = 3;
        return tools::writeSyntheticRun(spec);
    }

    static std::vector<std::string> confoundArguments(const std::string& sdmFile) {
        std::vector<std::string> arguments = {"confound", "--document", "data/run.fmr", "--set",
                                              "sdmfile=" + sdmFile};
        for (const char* option :
             {"create_detrended", "create_derivative", "create_spikes", "create_squared",
              "create_delayed1", "create_delayed1sq", "create_delayed2", "create_delayed2sq"}) {
            arguments.insert(arguments.end(), {"--set", std::string(option) + "=1"});
        }
        arguments.insert(arguments.end(), {"--set", "spike_threshold=0.5", "--set",
                                           "plot_regular=0", "--set", "plot_detrended=0"});
        return arguments;
    }

    HostRun runConfound(const std::string& sdmFile, const ChildConditions& conditions = {}) {
        return runHalvornUnder(conditions, confoundArguments(sdmFile), dir.file(""));
    }

    HostRun runSelection(const std::string& chosen, const ChildConditions& conditions = {}) {
        return runHalvornUnder(conditions,
                               {"select_3dmcsdm", "--document", "data/run.fmr", "--choose", chosen},
                               dir.file(""));
    }

    HostRun runDisplacement(const std::string& sdmFile) {
        return runHalvorn({"displacement", "--document", "data/run.fmr", "--set",
                           "sdmfile=" + sdmFile, "--set", "fmr_threshold=150", "--set",
                           "map_max_abs=1", "--set", "map_mean_rel=1"},
                          dir.file(""));
    }

    // The confound task's files for the motion SDM in data/, made by a run that must succeed.
    Snapshot earlierOutputs(const std::string& sdmFile) {
        const HostRun run = runConfound(sdmFile);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(run.messageBoxes().empty());
        const Snapshot files = snapshotOf(data);
        EXPECT_GT(files.size(), 8U) << "the earlier run wrote its files";
        return files;
    }

    // What every fault must leave: one error shown, the host alive, the earlier files unchanged
    // and no temporary file.
    void expectOneErrorAndNothingDamaged(const HostRun& run, const std::string& error,
                                         const Snapshot& before) {
        EXPECT_EQ(run.exitCode, 1) << "an error, and the host still alive: " << run.err;
        EXPECT_EQ(run.messageBoxes(), std::vector<std::string>{"Error: " + error});
        const Snapshot after = snapshotOf(data);
        EXPECT_EQ(namesIn(after), namesIn(before));
        for (const auto& [name, content] : before) {
            EXPECT_TRUE(after.count(name) != 0 && after.at(name) == content)
                << name << " was changed";
        }
        for (const auto& [name, content] : after) {
            EXPECT_FALSE(isTemporaryFileName(name)) << name;
        }
    }

    TempDir dir;
    fs::path data = dir.path() / "data";
};

TEST_F(FaultInjection, AFolderThatCannotBeWrittenTakesNoNewFileAndKeepsItsFiles) {
    const tools::RunFiles run = generateRun(40);
    Snapshot before = earlierOutputs(run.sdm);
    ASSERT_TRUE(before.count("run_3DMC_spikes.sdm") != 0) << "the run has spikes";
    // The first file the task writes is new: a folder that takes no new file must refuse it.
    fs::remove(data / "run_3DMC_spikes.sdm");
    before.erase("run_3DMC_spikes.sdm");

    // Root ignores permission bits; the child runs without that privilege, as a user would.
    const FolderMode readOnly(data, fs::perms::owner_read | fs::perms::owner_exec);
    const HostRun refused = runConfound(run.sdm, obeyingPermissionBits());
    expectOneErrorAndNothingDamaged(refused,
                                    "Cannot Create file: " + data.string() +
                                        "/run_3DMC_spikes.sdm (permission denied)",
                                    before);
}

TEST_F(FaultInjection, ARepairedMdmThatMayNotBeWrittenStaysAsItWas) {
    const tools::RunFiles run = generateRun(10);
    // The MDM still lists the SDM in a folder that has moved away.
    const std::string mdm = (data / "group_3DMC.mdm").string();
    writeFile(mdm, "\r\nFileVersion:          3\r\nTypeOfFunctionalData: FMR\r\n\r\n"
                   "NrOfStudies:          1\r\n\"/moved/away/run.fmr\"  "
                   "\"/moved/away/run_3DMC.sdm\"\r\n");
    fs::permissions(mdm, fs::perms::owner_read | fs::perms::group_read);
    const Snapshot before = snapshotOf(data);

    const FolderMode readOnly(data, fs::perms::owner_read | fs::perms::owner_exec);
    const HostRun refused = runHalvornUnder(
        obeyingPermissionBits(),
        {"select_3dmcsdm", "--document", "data/run.fmr", "--choose", mdm, "--choose", run.sdm},
        dir.file(""));
    ASSERT_EQ(refused.calls("ztGetOpenFileName").size(), 2U) << "the repair dialog was shown";
    expectOneErrorAndNothingDamaged(refused, "Cannot Create file: " + mdm + " (permission denied)",
                                    before);
    EXPECT_TRUE(refused.calls("ztSetStringParameter").empty()) << "no sdmfile stored";
}

TEST_F(FaultInjection, AWriteThatFailsPartWayLeavesTheEarlierFile) {
    // Every output of 2000 volumes is far larger than the limit; the host's own transcript and
    // log stay well below it.
    const tools::RunFiles run = generateRun(2000);
    const Snapshot before = earlierOutputs(run.sdm);
    ASSERT_TRUE(before.count("run_3DMC_spikes.sdm") != 0) << "the run has spikes";
    constexpr std::uint64_t kLimit = 48 * 1024;
    ASSERT_GT(before.at("run_3DMC_spikes.sdm").size(), kLimit);

    const HostRun cut = runConfound(run.sdm, withFileSizeLimit(kLimit));
    // The reason in parentheses is the system's: "file too large" on Linux, while Windows (Wine)
    // calls a write past the limit an invalid argument.
    const std::string refusal = "Cannot Create file: " + data.string() + "/run_3DMC_spikes.sdm (";
    ASSERT_EQ(cut.messageBoxes().size(), 1U) << cut.err;
    const std::string shown = cut.messageBoxes()[0];
    ASSERT_EQ(shown.rfind("Error: " + refusal, 0), 0U) << shown;
    expectOneErrorAndNothingDamaged(cut, shown.substr(std::string("Error: ").size()), before);
}

// The transcript used to be cut mid-line on a full disk, with status 0 and not a word.
TEST_F(FaultInjection, ATranscriptThatDoesNotFitOnTheDiskIsReportedAndNotCut) {
    const tools::RunFiles run = generateRun(12);
    const std::string transcript = dir.file("") + "/.halvorn-transcript.jsonl";
    constexpr std::uint64_t kLimit = 1024; // the selection's transcript takes about 1.3 kB
    const HostRun full = runSelection(run.sdm, withFileSizeLimit(kLimit));
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_EQ(
        full.err.rfind("Halvorn.exe: error: cannot write the transcript " + transcript + ": ", 0),
        0U)
        << full.err;
    EXPECT_TRUE(full.transcript.empty()) << "no transcript rather than a part of one";
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().find("halvorn-transcript"), std::string::npos)
            << entry.path();
    }
}

TEST_F(FaultInjection, ATranscriptThatCannotBeWrittenStopsTheRunBeforeItStarts) {
    const tools::RunFiles run = generateRun(12);
    const std::string transcript = dir.file("") + "/.halvorn-transcript.jsonl";
    fs::create_directory(transcript);
    const HostRun refused = runSelection(run.sdm);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err, "Halvorn.exe: error: cannot write the transcript " + transcript +
                               ": a folder of that name is in the way\n");
    EXPECT_TRUE(refused.out.empty()) << "the plug-in never started";
}

// An input changed after the selection task accepted it, before the task that uses it.
struct LaterDamage {
    const char* what;
    bool throughMdm;
    // Damages the files of data/ and returns the error the user must see.
    std::string (*damage)(const fs::path& data);
};

// Cuts `file` just before the first `marker` in it; returns its path.
std::string cutAt(const fs::path& file, const std::string& marker) {
    const std::string content = readFile(file.string());
    const auto at = content.find(marker);
    EXPECT_NE(at, std::string::npos) << marker;
    writeFile(file.string(), content.substr(0, at));
    return file.string();
}

constexpr const char* kMdmName = "group_3DMC.mdm";

const LaterDamage kLaterDamages[] = {
    {"SdmRemoved", false,
     [](const fs::path& data) {
         fs::remove(data / "run_3DMC.sdm");
         return "Failed opening for reading: " + (data / "run_3DMC.sdm").string();
     }},
    {"SdmCutInsideItsLastLine", false,
     [](const fs::path& data) {
         // The last of the 40 data lines (line 49) keeps two of its six values.
         const std::string sdm = (data / "run_3DMC.sdm").string();
         const std::string content = readFile(sdm);
         std::size_t cut = content.rfind("\r\n", content.size() - 3) + 2;
         for (int value = 0; value < 2; ++value) {
             cut = content.find(' ', content.find_first_not_of(' ', cut));
         }
         writeFile(sdm, content.substr(0, cut));
         return "Invalid SDM file " + sdm + ", line 49: 2 values where NrOfPredictors is 6";
     }},
    {"SdmCutAfterItsHeader", false,
     [](const fs::path& data) {
         const std::string sdm = (data / "run_3DMC.sdm").string();
         const std::string content = readFile(sdm);
         writeFile(sdm, content.substr(0, content.find("\r\n\r\n", content.find("First")) + 4));
         return "Invalid SDM file " + sdm + ": NrOfDataPoints is 40 with 6 predictors, more " +
                "data lines than the 4 bytes after the header can hold";
     }},
    {"MdmRemoved", true,
     [](const fs::path& data) {
         fs::remove(data / kMdmName);
         return "Failed opening for reading: " + (data / kMdmName).string();
     }},
    {"MdmCutAfterItsFirstStudy", true,
     [](const fs::path& data) {
         const std::string mdm = cutAt(data / kMdmName, "\"second.fmr\"");
         return "Invalid MDM file " + mdm +
                ": the file ends after 1 of the 2 study lines that NrOfStudies announces";
     }},
    {"MdmCutInsideItsLastStudy", true,
     [](const fs::path& data) {
         const std::string mdm = cutAt(data / kMdmName, "second_3DMC.sdm");
         return "Invalid MDM file " + mdm + ", line 6: the file ends inside study line 2 of 2";
     }},
    {"FirstListedSdmRemoved", true,
     [](const fs::path& data) {
         // The repair dialog asks for it, and the user cancels.
         fs::remove(data / "run_3DMC.sdm");
         return "Failed opening for reading: " + (data / "run_3DMC.sdm").string();
     }},
    {"LaterListedSdmRemoved", true,
     [](const fs::path& data) {
         fs::remove(data / "second_3DMC.sdm");
         return "Failed opening for reading: " + (data / "second_3DMC.sdm").string();
     }},
};

void PrintTo(const LaterDamage& damage, std::ostream* out) {
    *out << damage.what;
}

class InputDamagedAfterSelection : public FaultInjection,
                                   public ::testing::WithParamInterface<LaterDamage> {};

TEST_P(InputDamagedAfterSelection, TheTaskReportsItAndWritesNothing) {
    const tools::RunFiles run = generateRun(40);
    std::string chosen = run.sdm;
    if (GetParam().throughMdm) {
        fs::copy_file(run.sdm, data / "second_3DMC.sdm");
        chosen = (data / kMdmName).string();
        writeFile(chosen,
                  "\r\nFileVersion:          3\r\n\r\nNrOfStudies:          2\r\n\"run.fmr\"  \"" +
                      run.sdm + "\"\r\n\"second.fmr\"  \"" + (data / "second_3DMC.sdm").string() +
                      "\"\r\n");
    }
    const HostRun selection = runSelection(chosen);
    ASSERT_EQ(selection.exitCode, 0) << selection.err;
    ASSERT_EQ(selection.calls("ztSetStringParameter").size(), 1U);
    EXPECT_EQ(selection.calls("ztSetStringParameter")[0]["value"], chosen);

    // The selection's "sdmfile" goes on in the next run, as the host keeps it.
    static_cast<void>(earlierOutputs(chosen));
    const std::string error = GetParam().damage(data);
    const Snapshot before = snapshotOf(data);
    expectOneErrorAndNothingDamaged(runConfound(chosen), error, before);
}

INSTANTIATE_TEST_SUITE_P(FaultInjection, InputDamagedAfterSelection,
                         ::testing::ValuesIn(kLaterDamages),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(FaultInjection, AnFmrOrStcDamagedAfterSelectionStopsTheDisplacementTask) {
    const tools::RunFiles run = generateRun(12);
    ASSERT_EQ(runSelection(run.sdm).exitCode, 0);
    const HostRun first = runDisplacement(run.sdm);
    ASSERT_EQ(first.exitCode, 0) << first.err;

    // The data file gone: the document still opens, its slice data does not.
    const std::string stc = run.stc;
    const std::string stcBytes = readFile(stc);
    fs::remove(stc);
    Snapshot before = snapshotOf(data);
    // The document is data/run.fmr: the STC's name is made from that path.
    expectOneErrorAndNothingDamaged(runDisplacement(run.sdm),
                                    "Failed opening STC for reading: data/run.stc", before);

    // The project file cut after its volume count: the host still opens the document, the
    // plug-in finds no slice dimensions in it.
    writeFile(stc, stcBytes);
    cutAt(run.fmr, "NrOfSlices:");
    before = snapshotOf(data);
    const HostRun cut = runDisplacement(run.sdm);
    EXPECT_EQ(cut.exitCode, 1) << cut.err;
    ASSERT_EQ(cut.messageBoxes().size(), 1U);
    EXPECT_EQ(cut.messageBoxes()[0].rfind("Error: The FMR project data/run.fmr ", 0), 0U)
        << cut.messageBoxes()[0];
    expectOneErrorAndNothingDamaged(cut, cut.messageBoxes()[0].substr(7), before);
}

// A path of exactly `length` bytes (more than 260) to an SDM holding `motion`: folders of 150
// bytes below data/, then a file name of the rest, each part well below the 255 bytes a name may
// have.
std::string sdmAtPathOfLength(const fs::path& data, std::size_t length, const std::string& motion) {
    const std::string ending = "_3DMC.sdm";
    std::string folder = data.string();
    while (length - folder.size() > 211) {
        folder += "/" + std::string(150, static_cast<char>('a' + folder.size() % 26));
    }
    fs::create_directories(folder);
    const std::string path =
        folder + "/" + std::string(length - folder.size() - 1 - ending.size(), 'm') + ending;
    writeFile(path, motion);
    EXPECT_EQ(path.size(), length);
    return path;
}

struct LongPath {
    std::size_t length;
    bool hostFillsWholeBuffers; // HALVORN_FULL_TEXT_BUFFERS=1: no terminator for long texts
};

void PrintTo(const LongPath& path, std::ostream* out) {
    *out << path.length << " bytes" << (path.hostFillsWholeBuffers ? ", unterminated" : "");
}

class PathThroughTextBuffers : public FaultInjection,
                               public ::testing::WithParamInterface<LongPath> {
protected:
    ChildConditions host() const {
        if (GetParam().hostFillsWholeBuffers) {
            return withEnvironment({"HALVORN_FULL_TEXT_BUFFERS=1"});
        }
        return {};
    }
};

TEST_P(PathThroughTextBuffers, APathThatReachesTheBuffersEndIsRefusedNotCut) {
    const tools::RunFiles run = generateRun(10);
    const std::string path = sdmAtPathOfLength(data, GetParam().length, readFile(run.sdm));
    const Snapshot before = snapshotOf(fs::path(path).parent_path());
    const std::string shown = path.substr(0, 60) + "...) fills the host's whole 512-byte text " +
                              "buffer, so it may have been cut short. Use a path shorter than " +
                              "511 bytes.";

    const HostRun selection = runSelection(path, host());
    EXPECT_EQ(selection.exitCode, 1) << selection.err;
    EXPECT_EQ(selection.messageBoxes(),
              std::vector<std::string>{"Error: The path chosen in the file dialog (" + shown});
    EXPECT_TRUE(selection.calls("ztSetStringParameter").empty()) << "no sdmfile stored";

    const HostRun confound = runConfound(path, host());
    EXPECT_EQ(confound.exitCode, 1) << confound.err;
    EXPECT_EQ(confound.messageBoxes(),
              std::vector<std::string>{"Error: The value of the parameter \"sdmfile\" (" + shown});
    EXPECT_EQ(snapshotOf(fs::path(path).parent_path()), before) << "nothing written";
}

INSTANTIATE_TEST_SUITE_P(FaultInjection, PathThroughTextBuffers,
                         ::testing::Values(LongPath{511, false}, LongPath{512, false},
                                           LongPath{600, false}, LongPath{511, true},
                                           LongPath{512, true}, LongPath{600, true}),
                         [](const auto& info) {
                             return std::to_string(info.param.length) +
                                    (info.param.hostFillsWholeBuffers ? "BytesUnterminated"
                                                                      : "BytesTerminated");
                         });

TEST_F(FaultInjection, APathOf510BytesStillPassesThroughTheTextBuffers) {
    const tools::RunFiles run = generateRun(10);
    const std::string path = sdmAtPathOfLength(data, 510, readFile(run.sdm));
    for (const ChildConditions& host :
         {ChildConditions{}, withEnvironment({"HALVORN_FULL_TEXT_BUFFERS=1"})}) {
        const HostRun selection = runSelection(path, host);
        EXPECT_EQ(selection.exitCode, 0) << selection.err;
        ASSERT_EQ(selection.calls("ztSetStringParameter").size(), 1U);
        EXPECT_EQ(selection.calls("ztSetStringParameter")[0]["value"], path);
        const HostRun confound = runConfound(path, host);
        EXPECT_EQ(confound.exitCode, 0) << confound.err;
        EXPECT_TRUE(fs::exists(path.substr(0, path.size() - 4) + "_detr.sdm"));
    }
}

} // namespace
} // namespace qm::test
