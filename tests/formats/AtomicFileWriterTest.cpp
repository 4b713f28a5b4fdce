#include "AtomicFileWriter.h"

#include "FormatsTestSupport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

// Removes the fault hook again whatever the test does.
class AtomicFileWriter : public ::testing::Test {
protected:
    void TearDown() override { setAtomicWriteFaultHookForTesting({}); }
    std::string errorOf(const std::string& target, const std::string& content) {
        try {
            writeFileAtomically(target, content);
        } catch (const std::runtime_error& error) {
            return error.what();
        }
        return "<written>";
    }
    TempDir dir;
};

std::string largeContent() {
    std::string content;
    for (int i = 0; content.size() < 3 * kAtomicWriteChunkSize; ++i) {
        content += "line " + std::to_string(i) + "\r\n";
    }
    return content;
}

TEST_F(AtomicFileWriter, CreatesAndReplacesFilesByteForByte) {
    const std::string target = dir.file("out.sdm");
    writeFileAtomically(target, "first\r\n");
    EXPECT_EQ(readFile(target), "first\r\n");
    writeFileAtomically(target, largeContent());
    EXPECT_EQ(readFile(target), largeContent());
    writeFileAtomically(target, "");
    EXPECT_EQ(readFile(target), "");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"out.sdm"});
}

TEST_F(AtomicFileWriter, WritesPiecesOneAfterTheOtherAndCountsTheirBytesTogether) {
    const std::string target = dir.file("map.nii");
    const std::string large = largeContent();
    const std::string_view pieces[] = {"head", "", large, "tail"};
    std::vector<std::size_t> seen;
    setAtomicWriteFaultHookForTesting([&seen](std::size_t written) {
        seen.push_back(written);
        return false;
    });
    writeFileAtomically(target, pieces);
    EXPECT_EQ(readFile(target), "head" + large + "tail");
    // Before every chunk and once before the rename, with the bytes of all earlier pieces.
    ASSERT_GE(seen.size(), 3U);
    EXPECT_EQ(seen[0], 0U);
    EXPECT_EQ(seen[1], 4U);
    EXPECT_EQ(seen.back(), 8 + large.size());
}

TEST_F(AtomicFileWriter, AFailureAtAnyStageLeavesTheOldFileAndNoTemporaryFile) {
    const std::string target = dir.file("study.mdm");
    writeFile(target, "old content\n");
    const std::string content = largeContent();
    for (const std::size_t failAt :
         {std::size_t{0}, kAtomicWriteChunkSize, 2 * kAtomicWriteChunkSize, content.size()}) {
        std::vector<std::size_t> seen;
        setAtomicWriteFaultHookForTesting([&seen, failAt](std::size_t written) {
            seen.push_back(written);
            return written == failAt;
        });
        EXPECT_EQ(errorOf(target, content), "Cannot Create file: " + target) << failAt;
        EXPECT_EQ(seen.back(), failAt);
        EXPECT_EQ(readFile(target), "old content\n") << failAt;
        EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"study.mdm"}) << failAt;
    }
}

TEST_F(AtomicFileWriter, AFailureWithoutAnOldFileLeavesNothing) {
    setAtomicWriteFaultHookForTesting([](std::size_t written) { return written > 0; });
    const std::string target = dir.file("new.sdm");
    EXPECT_EQ(errorOf(target, largeContent()), "Cannot Create file: " + target);
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST_F(AtomicFileWriter, ATargetThatCannotBeCreatedIsReported) {
    const std::string inMissingFolder = dir.file("missing/out.sdm");
    EXPECT_EQ(errorOf(inMissingFolder, "x"), "Cannot Create file: " + inMissingFolder);
    fs::create_directory(dir.file("folder.sdm"));
    EXPECT_EQ(errorOf(dir.file("folder.sdm"), "x"),
              "Cannot Create file: " + dir.file("folder.sdm"));
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"folder.sdm"});
    EXPECT_TRUE(fs::is_empty(dir.file("folder.sdm")));
}

TEST_F(AtomicFileWriter, AFileSizeLimitReachedHalfWayLeavesTheOldFile) {
    const std::string target = dir.file("run_3DMC.sdm");
    writeFile(target, "old content\n");
    const std::string content = largeContent();
    EXPECT_EQ(messageOfWriteUnderFileSizeLimit(kAtomicWriteChunkSize + 100,
                                               [&]() { writeFileAtomically(target, content); }),
              "Cannot Create file: " + target);
    EXPECT_EQ(readFile(target), "old content\n");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"run_3DMC.sdm"});
}

TEST_F(AtomicFileWriter, ALinkedTargetIsReplacedWhereTheLinkPointsAndKeepsItsPermissions) {
    fs::create_directory(dir.file("data"));
    const std::string real = dir.file("data/run_3DMC.sdm");
    writeFile(real, "old\n");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real, dir.file("link.sdm"));
    writeFileAtomically(dir.file("link.sdm"), "new\n");
    EXPECT_TRUE(fs::is_symlink(dir.file("link.sdm")));
    EXPECT_EQ(readFile(real), "new\n");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(filesIn(dir.file("data")), std::vector<std::string>{"run_3DMC.sdm"});
}

} // namespace
} // namespace qm::test
