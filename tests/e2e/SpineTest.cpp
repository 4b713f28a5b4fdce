// Start-up and dispatch of the plug-in, as a user of Halvorn.exe sees them.
#include "HostRun.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm::test {
namespace {

constexpr const char* kMinimalFmr =
    "\nFileVersion:          7\n\nNrOfVolumes:          4\nNrOfSlices:           2\n"
    "Prefix:               \"run\"\nResolutionX:          3\nResolutionY:          3\n"
    "InplaneResolutionX:   2.5\nInplaneResolutionY:   2.5\nSliceThickness:       3\n"
    "SliceGap:             1\n";

class Spine : public ::testing::Test {
protected:
    void SetUp() override { writeFile(dir.file("run.fmr"), kMinimalFmr); }
    HostRun run(std::vector<std::string> arguments) { return runHalvorn(arguments, dir.file("")); }
    TempDir dir;
};

TEST_F(Spine, HostVersionsFrom280OnArePermitted) {
    for (const std::string version : {"2.8.0", "2.9.0", "3.0.0", "2.8.7", "3.0.-4"}) {
        const HostRun result = run({"--host-version", version, "--document", "run.fmr"});
        EXPECT_EQ(result.exitCode, 0) << version;
        EXPECT_TRUE(result.messageBoxes().empty()) << version;
        EXPECT_EQ(result.logTexts().front(), "\nQuelmar>  Running...") << version;
    }
}

TEST_F(Spine, OlderHostsAreRefusedBeforeTheLogTabOpens) {
    for (const std::string version : {"2.7.9", "2.7.0", "1.9.9", "2.8.-1", "0.0.0"}) {
        const HostRun result =
            run({"--host-version", version, "--document", "run.fmr", "confound"});
        EXPECT_EQ(result.exitCode, 2) << version;
        EXPECT_EQ(result.messageBoxes(),
                  std::vector<std::string>{
                      "Can not execute this plugin - HalvornZT version 2.8 or higher required."})
            << version;
        EXPECT_TRUE(result.calls("ztShowLogTab").empty()) << version;
        EXPECT_TRUE(result.calls("ztGetStringParameter").empty()) << "no task may run";
    }
}

TEST_F(Spine, WithoutADocumentThePluginRefusesAfterTheRunningLine) {
    const HostRun result = run({"confound"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.messageBoxes(), std::vector<std::string>{"No current document available."});
    EXPECT_EQ(result.err, "No current document available.\n");
    EXPECT_EQ(result.logTexts(), (std::vector<std::string>{"\nQuelmar>  Running...",
                                                           "\nQuelmar>  Plugin finished!\n"}));
}

TEST_F(Spine, ADocumentOfAnotherTypeIsRefused) {
    const HostRun result = run({"--document", "run.fmr", "--document-type", "2", "confound"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.messageBoxes(),
              std::vector<std::string>{"The currently active document is not a FMR document."});
    EXPECT_TRUE(result.calls("ztGetStringParameter").empty());
}

// The plug-in itself runs nothing for a task it does not know; Halvorn.exe refuses the run
// before the plug-in starts, naming the tasks the plug-in's dialog script describes.
TEST_F(Spine, UnknownTaskNamesAreRefusedBeforeThePluginStarts) {
    const HostRun result =
        run({"--document", "run.fmr", "Displacement", "select_3dmcsdm ", "", "CONFOUND"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err,
              "Halvorn.exe: error: the plug-in has no task \"Displacement\"; did you mean "
              "\"displacement\"?\n"
              "Halvorn.exe: error: the plug-in has no task \"select_3dmcsdm \"; did you mean "
              "\"select_3dmcsdm\"?\n"
              "Halvorn.exe: error: the plug-in has no task \"\"\n"
              "Halvorn.exe: error: the plug-in has no task \"CONFOUND\"; did you mean "
              "\"confound\"?\n"
              "Halvorn.exe: the plug-in's tasks are select_3dmcsdm, confound and displacement\n");
    ASSERT_FALSE(result.transcript.empty());
    EXPECT_EQ(result.transcript.front()["host"], "loaded");
    for (const auto& entry : result.transcript) {
        EXPECT_FALSE(entry.contains("call")) << "no call of the plug-in: " << entry.dump();
        EXPECT_NE(entry.value("host", ""), "initPlugin");
    }
}

TEST_F(Spine, TheLogOpensWithTheRunningLineAndClosesWithTheFinishedLine) {
    const HostRun result = run({"--document", "run.fmr"});
    ASSERT_EQ(result.exitCode, 0);
    ASSERT_GE(result.transcript.size(), 2U);
    const auto texts = result.calls("ztLogText");
    ASSERT_EQ(texts.size(), 3U);
    EXPECT_EQ(texts[0]["text"], "\nQuelmar>  Running...");
    EXPECT_EQ(texts[1]["text"], "\nQuelmar>  Plugin finished!\n");
    EXPECT_EQ(texts[2]["text"], "") << "the stream's destruction hands over an empty rest";
    EXPECT_EQ(result.transcript.front()["getPluginVersion"], "2.0");
    EXPECT_EQ(result.transcript.front()["getPluginName"], "Quelmar");
}

TEST_F(Spine, AMissingPluginLibraryIsReportedWithExitStatus2) {
    const HostRun result = run({"--plugin", "no-such-plugin.so", "--document", "run.fmr"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("no-such-plugin.so"), std::string::npos);
}

TEST_F(Spine, AnUnreadableDocumentIsReportedByTheHost) {
    const HostRun result = run({"--document", "missing.fmr"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Failed opening for reading: missing.fmr"), std::string::npos);
}

// A file that is no FMR project used to become a document of 0 x 0 x 0 voxels.
TEST_F(Spine, ADocumentThatIsNoFmrProjectIsRefusedBeforeThePluginLoads) {
    writeFile(dir.file("run_3DMC.sdm"),
              "FileVersion:            1\r\n\r\nNrOfPredictors:         6\r\n"
              "NrOfDataPoints:         4\r\nIncludesConstant:       0\r\n"
              "FirstConfoundPredictor: 1\r\n\r\n");
    writeFile(dir.file("notes.fmr"), "FileVersion: 7\nPrefix: \"run\"\n");
    const std::string noSizes = "\"NrOfVolumes:\", \"NrOfSlices:\", \"ResolutionX:\" or "
                                "\"ResolutionY:\" entry\n";
    std::vector<std::pair<std::string, std::string>> cases = {
        {"run_3DMC.sdm", "the document run_3DMC.sdm is not an FMR project: it has no " + noSizes},
        {"notes.fmr", "the document notes.fmr is not an FMR project: it has no " + noSizes},
    };
    if (!runsUnderLauncher()) { // Wine has no /dev/zero to offer a Windows program
        cases.emplace_back("/dev/zero",
                           "the document /dev/zero is not a regular file, so it is no FMR "
                           "project\n");
    }
    for (const auto& [document, message] : cases) {
        const HostRun result = run({"--document", document, "confound"});
        EXPECT_EQ(result.exitCode, 2) << document;
        EXPECT_EQ(result.err, "Halvorn.exe: error: " + message) << document;
        EXPECT_TRUE(result.transcript.empty()) << "the plug-in was never loaded: " << document;
    }
}

TEST_F(Spine, ADamagedFmrProjectIsLeftToThePluginToReport) {
    // One size entry is enough to tell an FMR project that lost another one from a foreign file.
    std::string fmr = kMinimalFmr;
    fmr.erase(fmr.find("ResolutionX:"), fmr.find("ResolutionY:") - fmr.find("ResolutionX:"));
    writeFile(dir.file("damaged.fmr"), fmr);
    const HostRun result = run({"--document", "damaged.fmr"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.calls("ztGetIDOfCurrentDocument").size(), 1U);
}

} // namespace
} // namespace qm::test
