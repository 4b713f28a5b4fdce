// Inputs and machines that once made a task end with status 0 after writing wrong output, no
// output, or after destroying a file it should not have touched. Through Halvorn.exe, each must
// now end with one clear error (status 1), or do the sound thing, and never write or change a
// file it should not.
#include "AtomicFileWriter.h"
#include "HostRun.h"
#include "SyntheticRun.h"
#include "TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace qm::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

using Snapshot = std::map<std::string, std::string>; // path inside the folder -> content

Snapshot snapshotOf(const fs::path& folder) {
    Snapshot files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() || entry.is_symlink()) {
            const std::string name = fs::relative(entry.path(), folder).string();
            files[name] = entry.is_regular_file() ? readFile(entry.path().string()) : "<link>";
        }
    }
    return files;
}

// Debian's "nobody", which owns nothing of the tests.
constexpr unsigned kNobody = 65534;

struct Owner {
    unsigned user;
    unsigned group;
    bool operator==(const Owner&) const = default;
};

Owner ownerOf(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return {status.st_uid, status.st_gid};
}

void giveTo(const fs::path& path, Owner owner, fs::perms mode) {
    ASSERT_EQ(::chown(path.c_str(), owner.user, owner.group), 0) << path;
    fs::permissions(path, mode);
}

constexpr const char* kConfoundFamilies[] = {
    "create_detrended",  "create_derivative", "create_squared",    "create_delayed1",
    "create_delayed1sq", "create_delayed2",   "create_delayed2sq", "create_spikes"};

// Runs in data/ (FMR, STC and motion SDM), and the tasks on them.
class SilentFailure : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(data); }

    tools::RunFiles generateRun(const std::string& folder = "data", std::int32_t volumes = 30) {
        fs::create_directories(dir.path() / folder);
        tools::RunSpec spec;
        spec.directory = (dir.path() / folder).string();
        spec.sizeX = 8;
        spec.sizeY = 8;
        spec.sizeZ = 4;
        spec.volumes = volumes;
        spec.jumps = 2;
        return tools::writeSyntheticRun(spec);
    }

    // The arguments of `task` on the motion file `sdmFile` with every output and no plots.
    static std::vector<std::string> taskArguments(const std::string& task,
                                                  const std::string& sdmFile,
                                                  const std::string& document = "data/run.fmr") {
        std::vector<std::string> arguments = {task, "--document", document, "--set",
                                              "sdmfile=" + sdmFile};
        const std::vector<std::string> settings = {"spike_threshold=0.3", "fmr_threshold=150",
                                                   "map_max_abs=1",       "map_mean_rel=1",
                                                   "plot_regular=0",      "plot_detrended=0"};
        for (const std::string& setting : settings) {
            arguments.insert(arguments.end(), {"--set", setting});
        }
        for (const char* family : kConfoundFamilies) {
            arguments.insert(arguments.end(), {"--set", std::string(family) + "=1"});
        }
        return arguments;
    }

    HostRun run(const std::string& task, const std::string& sdmFile,
                const ChildConditions& conditions = {}) {
        return runHalvornUnder(conditions, taskArguments(task, sdmFile, document), dir.file(""));
    }

    // One error, starting as `start`, and not a file of data/ written or changed.
    void expectRefusedWithoutAWrite(const HostRun& refused, const std::string& start,
                                    const Snapshot& before) {
        EXPECT_EQ(refused.exitCode, 1) << refused.err;
        ASSERT_EQ(refused.messageBoxes().size(), 1U) << refused.err;
        EXPECT_THAT(refused.messageBoxes()[0], StartsWith("Error: " + start));
        EXPECT_EQ(snapshotOf(data), before);
    }

    TempDir dir;
    fs::path data = dir.path() / "data";
    std::string document = "data/run.fmr"; // the current FMR document of every run
};

// --- Data that must never be lost -------------------------------------------------------------

// As an ordinary user, the task may replace exactly the outputs that user could write.
class NothingLost : public SilentFailure {
protected:
    void SetUp() override {
        if (!canRunAsAnotherUser()) {
            GTEST_SKIP() << "running Halvorn.exe as another user needs root";
        }
        SilentFailure::SetUp();
        generateRun();
        fs::permissions(dir.path(), fs::perms::all);
        fs::permissions(data, fs::perms::all);
    }
    // Only the detrended family, so that the one output under test is the only file written.
    HostRun detrendedAsNobody() {
        std::vector<std::string> arguments = {
            "confound", "--document",        "data/run.fmr", "--set", "sdmfile=data/run_3DMC.sdm",
            "--set",    "create_detrended=1"};
        return runHalvornUnder(asUser(kNobody, kNobody), arguments, dir.file(""));
    }
    const fs::path output = data / "run_3DMC_detr.sdm";
};

TEST_F(NothingLost, AnOutputTheUserMayNotWriteIsRefusedAndKeptAsItWas) {
    writeFile(output.string(), "the earlier result\r\n");
    giveTo(output, {kNobody, kNobody}, fs::perms::owner_read | fs::perms::group_read);
    const Snapshot before = snapshotOf(data);
    const HostRun refused = detrendedAsNobody();
    expectRefusedWithoutAWrite(
        refused, "Cannot Create file: data/run_3DMC_detr.sdm (permission denied)", before);
    EXPECT_EQ(ownerOf(output), (Owner{kNobody, kNobody}));
}

TEST_F(NothingLost, AnotherUsersWritableOutputIsRewrittenAndKeepsItsOwnerAndMode) {
    writeFile(output.string(), "the earlier result\r\n");
    giveTo(output, {0, 0}, fs::perms::all);
    const HostRun written = detrendedAsNobody();
    EXPECT_EQ(written.exitCode, 0) << written.err;
    EXPECT_THAT(readFile(output.string()), StartsWith("FileVersion:"));
    EXPECT_EQ(ownerOf(output), (Owner{0, 0}));
    EXPECT_EQ(fs::status(output).permissions() & fs::perms::all, fs::perms::all);
}

TEST_F(NothingLost, AWritableOutputInAFolderThatTakesNoNewFileIsRewrittenInPlace) {
    writeFile(output.string(), "the earlier result\r\n");
    giveTo(output, {kNobody, kNobody}, fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(data, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    const HostRun written = detrendedAsNobody();
    EXPECT_EQ(written.exitCode, 0) << written.err;
    EXPECT_THAT(readFile(output.string()), StartsWith("FileVersion:"));
    EXPECT_EQ(ownerOf(output), (Owner{kNobody, kNobody}));
    for (const auto& [name, content] : snapshotOf(data)) {
        EXPECT_FALSE(isAtomicWriteTemporaryName(fs::path(name).filename().string())) << name;
    }
}

// Two runs whose MDM was written on Windows ("\") and moved to a machine that writes "/".
class MdmRepair : public SilentFailure {
protected:
    void SetUp() override {
        SilentFailure::SetUp();
        generateRun("data/s1");
        generateRun("data/s2");
        document = "data/s1/run.fmr";
    }
    std::string mdmText(const std::string& header = "") const {
        return "\r\nFileVersion:          3\r\nTypeOfFunctionalData: FMR\r\n" + header +
               "\r\nNrOfStudies:          2\r\n"
               "\"C:\\old\\s1\\run.fmr\"  \"C:\\old\\s1\\run_3DMC.sdm\"\r\n"
               "\"C:\\old\\s2\\run.fmr\"  \"C:\\old\\s2\\run_3DMC.sdm\"\r\n";
    }
    HostRun select(const std::string& chosenForRepair) {
        return runHalvorn({"select_3dmcsdm", "--document", "data/s1/run.fmr", "--choose", mdm,
                           "--choose", chosenForRepair},
                          dir.file(""));
    }
    const std::string mdm = (data / "group_3DMC.mdm").string();
};

TEST_F(MdmRepair, PathsWithTheOtherSeparatorAllMoveAndEveryRunIsProcessed) {
    writeFile(mdm, mdmText());
    const HostRun selected = select((data / "s1" / "run_3DMC.sdm").string());
    ASSERT_EQ(selected.exitCode, 0) << selected.err;
    EXPECT_THAT(readFile(mdm), HasSubstr("\"" + (data / "s2" / "run_3DMC.sdm").string() + "\""));

    const HostRun confound = run("confound", mdm);
    EXPECT_EQ(confound.exitCode, 0) << confound.err;
    EXPECT_TRUE(fs::exists(data / "s1" / "run_3DMC_detr.sdm"));
    EXPECT_TRUE(fs::exists(data / "s2" / "run_3DMC_detr.sdm"));
}

TEST_F(MdmRepair, AChosenFileOfAnotherNameChangesNothing) {
    writeFile(mdm, mdmText());
    const Snapshot before = snapshotOf(data);
    const std::string fmr = (data / "s1" / "run.fmr").string();
    const HostRun refused = select(fmr);
    expectRefusedWithoutAWrite(refused,
                               "The chosen file " + fmr +
                                   " is not run_3DMC.sdm, the missing SDM that the MDM " + mdm +
                                   " lists first; the MDM was not changed.",
                               before);
    EXPECT_TRUE(refused.calls("ztSetStringParameter").empty()) << "no sdmfile stored";
}

TEST_F(MdmRepair, AnMdmWithTextTheReaderDoesNotUseIsNotRewritten) {
    writeFile(mdm, mdmText("Comment:              moved from the scanner PC\r\n"));
    const Snapshot before = snapshotOf(data);
    const HostRun refused = select((data / "s1" / "run_3DMC.sdm").string());
    expectRefusedWithoutAWrite(refused,
                               "The first SDM that the MDM " + mdm +
                                   " lists, C:\\old\\s1\\run_3DMC.sdm, is missing, but the MDM "
                                   "cannot be repaired: its line 4 holds text that rewriting the "
                                   "file would lose.",
                               before);
    EXPECT_EQ(refused.calls("ztGetOpenFileName").size(), 1U) << "only the selection's dialog";
}

// --- Results that must never be silently wrong -----------------------------------------------

using NothingSilentlyWrong = SilentFailure;

TEST_F(NothingSilentlyWrong, AMotionValueThatIsNotFiniteIsRefusedByBothTasks) {
    const tools::RunFiles files = generateRun();
    std::string sdm = readFile(files.sdm);
    // The fourth value (rotation about x) of the fifth data line, line 13 of the file.
    std::size_t line13 = 0;
    for (int i = 0; i < 12; ++i) {
        line13 = sdm.find('\n', line13) + 1;
    }
    std::size_t value = line13;
    for (int i = 0; i < 3; ++i) {
        value = sdm.find_first_not_of(' ', sdm.find(' ', sdm.find_first_not_of(' ', value)));
    }
    for (const std::string notFinite : {"nan", "-inf", "infinity", "nan(123)"}) {
        std::string damaged = sdm;
        damaged.replace(value, damaged.find(' ', value) - value, notFinite);
        writeFile(files.sdm, damaged);
        const Snapshot before = snapshotOf(data);
        for (const char* task : {"confound", "displacement"}) {
            expectRefusedWithoutAWrite(run(task, "data/run_3DMC.sdm"),
                                       "Invalid SDM file data/run_3DMC.sdm, line 13: the value \"" +
                                           notFinite +
                                           "\" of predictor 4 (\"Rotation X [deg]\") is not a "
                                           "finite number; motion parameters must be finite",
                                       before);
        }
    }
}

TEST_F(NothingSilentlyWrong, FewerThanTwoVolumesAreRefusedByBothTasks) {
    generateRun();
    for (const int volumes : {1, 0}) {
        tools::writeMotionSdm((data / "short_3DMC.sdm").string(),
                              std::vector<tools::MotionParameters>(
                                  static_cast<std::size_t>(volumes), {0.1F, 0, 0, 0, 0, 0}));
        const Snapshot before = snapshotOf(data);
        for (const char* task : {"confound", "displacement"}) {
            expectRefusedWithoutAWrite(run(task, "data/short_3DMC.sdm"),
                                       "The motion design matrix data/short_3DMC.sdm holds " +
                                           std::to_string(volumes) +
                                           (volumes == 1 ? " data point" : " data points") +
                                           "; the motion tasks need at least 2 volumes.",
                                       before);
        }
    }
}

TEST_F(NothingSilentlyWrong, BothTasksSayWhatToDoWhenNoMotionMatrixWasChosen) {
    generateRun();
    const Snapshot before = snapshotOf(data);
    for (const char* task : {"confound", "displacement"}) {
        expectRefusedWithoutAWrite(run(task, ""),
                                   "No motion design matrix has been chosen (\"sdmfile\" is "
                                   "empty): run \"select_3dmcsdm\" first",
                                   before);
        expectRefusedWithoutAWrite(run(task, "data/run.fmr"),
                                   "The file data/run.fmr is neither a single-study (.sdm) nor a "
                                   "multi-study (.mdm) design matrix",
                                   before);
    }
}

TEST_F(NothingSilentlyWrong, BlankLinesInAnMdmLoseNoRunAndABrokenStudyLineIsNamed) {
    generateRun("data/s1");
    generateRun("data/s2");
    document = "data/s1/run.fmr";
    const std::string mdm = (data / "group_3DMC.mdm").string();
    const std::string header = "FileVersion: 3\r\nTypeOfFunctionalData: FMR\r\nNrOfStudies: 2\r\n";
    writeFile(mdm, header + "\r\n\"data/s1/run.fmr\"  \"data/s1/run_3DMC.sdm\"\r\n\r\n"
                            "\"data/s2/run.fmr\"  \"data/s2/run_3DMC.sdm\"\r\n");
    const HostRun both = run("confound", mdm);
    EXPECT_EQ(both.exitCode, 0) << both.err;
    EXPECT_TRUE(fs::exists(data / "s2" / "run_3DMC_detr.sdm")) << "the last run is not lost";

    writeFile(mdm, header + "\"data/s1/run.fmr\"  \"data/s1/run_3DMC.sdm\r\n"
                            "\"data/s2/run.fmr\"  \"data/s2/run_3DMC.sdm\"\r\n");
    const Snapshot before = snapshotOf(data);
    for (const char* task : {"confound", "displacement"}) {
        expectRefusedWithoutAWrite(
            run(task, mdm),
            "Invalid MDM file " + mdm + ", line 4: this study line holds 3 double quotes", before);
    }
}

TEST_F(NothingSilentlyWrong, AByteOrderMarkKeepsTheFileVersionOfEveryOutput) {
    const tools::RunFiles files = generateRun();
    writeFile(files.sdm, "\xEF\xBB\xBF" + readFile(files.sdm));
    const HostRun done = run("confound", "data/run_3DMC.sdm");
    ASSERT_EQ(done.exitCode, 0) << done.err;
    for (const char* suffix : {"_detr", "_deriv", "_sqr", "_t1", "_t2", "_t1sqr", "_t2sqr"}) {
        EXPECT_THAT(readFile((data / ("run_3DMC" + std::string(suffix) + ".sdm")).string()),
                    StartsWith("FileVersion:"))
            << suffix;
    }
}

// --- Work that must never run away -----------------------------------------------------------

using NothingRunsAway = SilentFailure;

// Replaces the value of `key` in the FMR project `fmr`.
void setFmrValue(const std::string& fmr, const std::string& key, const std::string& value) {
    std::string text = readFile(fmr);
    const std::size_t at = text.find_first_not_of(' ', text.find(key) + key.size());
    text.replace(at, text.find_first_of("\r\n", at) - at, value);
    writeFile(fmr, text);
}

TEST_F(NothingRunsAway, AHugeGridOverATinyStcIsRefusedBeforeAnyMap) {
    const tools::RunFiles files = generateRun();
    setFmrValue(files.fmr, "ResolutionX:", "4096");
    setFmrValue(files.fmr, "ResolutionY:", "4096");
    fs::resize_file(files.stc, 0);
    const Snapshot before = snapshotOf(data);
    const HostRun refused = run("displacement", "data/run_3DMC.sdm");
    expectRefusedWithoutAWrite(refused,
                               "The FMR project data/run.fmr describes volumes of 4096 x 4096 x "
                               "4 voxels of 16-bit samples, but its STC file data/run.stc holds 0 "
                               "bytes; volume 0 needs ",
                               before);
    EXPECT_TRUE(refused.calls("ztCreateMAPForCurrentFMR").empty());
}

TEST_F(NothingRunsAway, FilesThatAreNoRegularFilesAreRefusedWithoutWaiting) {
    const tools::RunFiles files = generateRun();
    ASSERT_EQ(::mkfifo((data / "pipe_3DMC.sdm").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((data / "pipe_3DMC.mdm").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", data / "zero_3DMC.sdm");
    const Snapshot before = snapshotOf(data);
    const struct {
        const char* sdmFile;
        const char* reason;
    } cases[] = {
        {"data/pipe_3DMC.sdm", "a named pipe"},
        {"data/pipe_3DMC.mdm", "a named pipe"},
        {"data/zero_3DMC.sdm", "a device"},
    };
    for (const auto& c : cases) {
        for (const char* task : {"select_3dmcsdm", "confound", "displacement"}) {
            const HostRun refused =
                std::string(task) == "select_3dmcsdm"
                    ? runHalvorn({task, "--document", "data/run.fmr", "--choose", c.sdmFile},
                                 dir.file(""))
                    : run(task, c.sdmFile);
            expectRefusedWithoutAWrite(refused,
                                       std::string("Failed opening for reading: ") + c.sdmFile +
                                           " (" + c.reason + ", not a regular file)",
                                       before);
        }
    }
    // The STC is read by the plug-in alone.
    fs::remove(files.stc);
    fs::create_symlink("/dev/zero", files.stc);
    expectRefusedWithoutAWrite(run("displacement", "data/run_3DMC.sdm"),
                               "Failed opening STC for reading: data/run.stc (a device, not a "
                               "regular file)",
                               snapshotOf(data));
}

TEST_F(NothingRunsAway, AGridWithoutSlicesOrColumnsIsRefusedInWordsAUserUnderstands) {
    const tools::RunFiles files = generateRun();
    const std::string original = readFile(files.fmr);
    for (const auto& [key, unit] :
         {std::pair{"NrOfSlices:", "slice"}, std::pair{"ResolutionX:", "column"}}) {
        writeFile(files.fmr, original);
        setFmrValue(files.fmr, key, "0");
        const Snapshot before = snapshotOf(data);
        expectRefusedWithoutAWrite(run("displacement", "data/run_3DMC.sdm"),
                                   std::string("The FMR project data/run.fmr gives \"") + key +
                                       " 0\": a run needs at least one " + unit +
                                       " in every volume.",
                                   before);
    }
}

} // namespace
} // namespace qm::test
