// Halvorn.exe's files through the atomic writer: complete or absent, and a failure told with the
// file and the reason.
#include "OutputFiles.h"

#include "HostSession.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace halvorn_host {
namespace {

TEST(OutputFiles, AFileIsWrittenWholeFromItsPieces) {
    qm::test::TempDir dir;
    const std::string_view pieces[] = {"head", "", "er and body"};
    writeOutputFile(dir.file("out.txt"), pieces);
    EXPECT_EQ(qm::test::readFile(dir.file("out.txt")), "header and body");
}

// The reason is the writer's own when it gives one; this writer's wording is not pinned here.
TEST(OutputFiles, AFailureNamesTheFileAndAReason) {
    qm::test::TempDir dir;
    std::filesystem::create_directory(dir.file("taken"));
    for (const std::string& path : {dir.file("taken"), dir.file("missing/out.txt")}) {
        try {
            writeOutputFile(path, "text");
            ADD_FAILURE() << "written: " << path;
        } catch (const OutputFileError& error) {
            EXPECT_EQ(error.path(), path);
            EXPECT_FALSE(error.reason().empty());
            EXPECT_EQ(std::string(error.what()), path + ": " + error.reason());
        }
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("taken")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
}

TEST(OutputFiles, PlainProblemsAreSeenBeforeWriting) {
    qm::test::TempDir dir;
    std::filesystem::create_directory(dir.file("taken"));
    EXPECT_EQ(obviousWriteProblem(dir.file("taken")), "a folder of that name is in the way");
    EXPECT_EQ(obviousWriteProblem(dir.file("missing/out.txt")),
              "the folder " + dir.file("missing") + " does not exist");
    EXPECT_EQ(obviousWriteProblem(dir.file("new.txt")), "");
}

TEST(OutputFiles, TheWritersReasonIsTakenFromItsMessage) {
    EXPECT_EQ(
        writeFailureReason("Cannot Create file: /a/b.png (no space left on device)", "/a/b.png"),
        "no space left on device");
    EXPECT_EQ(writeFailureReason("something else went wrong", "/a/b.png"),
              "something else went wrong");
    // A writer that gives no reason: what can be seen from outside.
    EXPECT_EQ(
        writeFailureReason("Cannot Create file: /no/such/folder/b.png", "/no/such/folder/b.png"),
        "the folder /no/such/folder does not exist");
}

TEST(OutputFiles, EachFailedFileIsReportedOnce) {
    HostSession host;
    const OutputFileError error("/a/b.png", "no space left on device");
    ::testing::internal::CaptureStderr();
    reportOutputFailure(host, "the plot picture", error);
    reportOutputFailure(host, "the plot picture", error);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Halvorn.exe: error: cannot write the plot picture /a/b.png: no space left on "
              "device\n");
    EXPECT_EQ(host.failedOutputFiles, std::set<std::string>{"/a/b.png"});
}

} // namespace
} // namespace halvorn_host
