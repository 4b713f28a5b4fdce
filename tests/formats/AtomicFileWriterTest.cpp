#include "AtomicFileWriter.h"

#include "FormatsTestSupport.h"
#include "TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

std::string refusal(const std::string& target, const std::string& reason) {
    return "Cannot Create file: " + target + " (" + reason + ")";
}

struct Owner {
    uid_t user;
    gid_t group;
    bool operator==(const Owner&) const = default;
};

Owner ownerOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return {status.st_uid, status.st_gid};
}

fs::perms modeOf(const std::string& path) {
    return fs::status(path).permissions() & fs::perms::all;
}

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
        EXPECT_EQ(errorOf(target, content), refusal(target, "no space left on device")) << failAt;
        EXPECT_EQ(seen.back(), failAt);
        EXPECT_EQ(readFile(target), "old content\n") << failAt;
        EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"study.mdm"}) << failAt;
    }
}

TEST_F(AtomicFileWriter, AFailureWithoutAnOldFileLeavesNothing) {
    setAtomicWriteFaultHookForTesting([](std::size_t written) { return written > 0; });
    const std::string target = dir.file("new.sdm");
    EXPECT_EQ(errorOf(target, largeContent()), refusal(target, "no space left on device"));
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST_F(AtomicFileWriter, ATargetThatCannotBeCreatedIsReported) {
    const std::string inMissingFolder = dir.file("missing/out.sdm");
    EXPECT_EQ(errorOf(inMissingFolder, "x"), refusal(inMissingFolder, "no such file or directory"));
    fs::create_directory(dir.file("folder.sdm"));
    EXPECT_EQ(errorOf(dir.file("folder.sdm"), "x"),
              refusal(dir.file("folder.sdm"), "is a directory"));
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"folder.sdm"});
    EXPECT_TRUE(fs::is_empty(dir.file("folder.sdm")));
}

TEST_F(AtomicFileWriter, AFileSizeLimitReachedHalfWayLeavesTheOldFile) {
    const std::string target = dir.file("run_3DMC.sdm");
    writeFile(target, "old content\n");
    const std::string content = largeContent();
    EXPECT_EQ(messageOfWriteUnderFileSizeLimit(kAtomicWriteChunkSize + 100,
                                               [&]() { writeFileAtomically(target, content); }),
              refusal(target, "file too large"));
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

TEST_F(AtomicFileWriter, SomethingOtherThanARegularFileIsNeverReplaced) {
    fs::create_directory(dir.file("data"));
    ASSERT_EQ(::mkfifo(dir.file("data/run_3DMC_detr.sdm").c_str(), 0644), 0);
    fs::create_symlink("/dev/null", dir.file("data/run_3DMC_t1.sdm"));
    EXPECT_EQ(errorOf(dir.file("data/run_3DMC_detr.sdm"), "x"),
              refusal(dir.file("data/run_3DMC_detr.sdm"), "not a regular file"));
    EXPECT_EQ(errorOf(dir.file("data/run_3DMC_t1.sdm"), "x"),
              refusal(dir.file("data/run_3DMC_t1.sdm"), "not a regular file"));
    EXPECT_TRUE(fs::is_fifo(dir.file("data/run_3DMC_detr.sdm")));
    EXPECT_EQ(fs::read_symlink(dir.file("data/run_3DMC_t1.sdm")), "/dev/null");
}

TEST_F(AtomicFileWriter, AReplacedFileKeepsItsOwnerAndMode) {
    if (!runningAsRoot()) {
        GTEST_SKIP() << "giving a file to another user needs root";
    }
    const std::string target = dir.file("run_3DMC_detr.sdm");
    writeFile(target, "old\n");
    ASSERT_EQ(::chown(target.c_str(), kNobodyUser, kNobodyGroup), 0);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    writeFileAtomically(target, "new\n");
    EXPECT_EQ(readFile(target), "new\n");
    EXPECT_EQ(ownerOf(target), (Owner{kNobodyUser, kNobodyGroup}));
    EXPECT_EQ(modeOf(target),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"run_3DMC_detr.sdm"});
}

// As an ordinary user the writer may replace exactly the files that user could write.
class AtomicFileWriterAsUser : public AtomicFileWriter {
protected:
    void SetUp() override {
        if (!runningAsRoot()) {
            GTEST_SKIP() << "becoming another user needs root";
        }
        fs::permissions(dir.path(), fs::perms::all); // the user "nobody" may enter and write
    }
    std::string errorAsNobody(const std::string& target, const std::string& content) {
        return messageOfWriteAsNobody([&]() { writeFileAtomically(target, content); });
    }
    // A file with this content, owner and mode.
    void placeFile(const std::string& path, const std::string& content, Owner owner,
                   fs::perms mode) {
        writeFile(path, content);
        ASSERT_EQ(::chown(path.c_str(), owner.user, owner.group), 0);
        fs::permissions(path, mode);
    }
    const Owner nobody{kNobodyUser, kNobodyGroup};
    const Owner root{0, 0};
};

TEST_F(AtomicFileWriterAsUser, AReadOnlyFileIsRefusedAndUntouched) {
    const std::string target = dir.file("run_3DMC_detr.sdm");
    placeFile(target, "old\n", nobody, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(errorAsNobody(target, "new\n"), refusal(target, "permission denied"));
    EXPECT_EQ(readFile(target), "old\n");
    EXPECT_EQ(ownerOf(target), nobody);
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"run_3DMC_detr.sdm"});
}

TEST_F(AtomicFileWriterAsUser, AnotherUsersFileWithoutWritePermissionIsRefused) {
    const std::string target = dir.file("study.mdm");
    placeFile(target, "old\n", root,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    EXPECT_EQ(errorAsNobody(target, "new\n"), refusal(target, "permission denied"));
    EXPECT_EQ(readFile(target), "old\n");
    EXPECT_EQ(ownerOf(target), root);
}

TEST_F(AtomicFileWriterAsUser, AnotherUsersWritableFileIsWrittenInPlaceAndKeepsItsOwner) {
    const std::string target = dir.file("run_3DMC_t1.sdm");
    placeFile(target, "old\n", root, fs::perms::all);
    EXPECT_EQ(errorAsNobody(target, largeContent()), "<no exception>");
    EXPECT_EQ(readFile(target), largeContent());
    EXPECT_EQ(ownerOf(target), root);
    EXPECT_EQ(modeOf(target), fs::perms::all);
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"run_3DMC_t1.sdm"});
}

TEST_F(AtomicFileWriterAsUser, AWritableFileInAFolderThatTakesNoNewFileIsWrittenInPlace) {
    fs::create_directory(dir.file("data"));
    const std::string target = dir.file("data/run_3DMC_sqr.sdm");
    const std::string newFile = dir.file("data/run_3DMC_t2.sdm");
    placeFile(target, "old\n", nobody, fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(dir.file("data"), fs::perms::owner_all | fs::perms::group_read |
                                          fs::perms::group_exec | fs::perms::others_read |
                                          fs::perms::others_exec);
    EXPECT_EQ(errorAsNobody(target, "new\n"), "<no exception>");
    EXPECT_EQ(readFile(target), "new\n");
    EXPECT_EQ(ownerOf(target), nobody);
    EXPECT_EQ(errorAsNobody(newFile, "new\n"), refusal(newFile, "permission denied"));
    EXPECT_EQ(filesIn(dir.file("data")), std::vector<std::string>{"run_3DMC_sqr.sdm"});
}

TEST_F(AtomicFileWriter, AWriteKilledHalfWayLeavesATemporaryFileThatTheNextWriteRemoves) {
    const std::string target = dir.file("run_3DMC_spikes.sdm");
    writeFile(target, "old\n");
    const std::string killed = messageOfWriteInChild(
        []() {
            setAtomicWriteFaultHookForTesting([](std::size_t written) {
                if (written >= kAtomicWriteChunkSize) {
                    std::raise(SIGKILL);
                }
                return false;
            });
            return true;
        },
        [&]() { writeFileAtomically(target, largeContent()); });
    ASSERT_EQ(killed, "<killed>");
    EXPECT_EQ(readFile(target), "old\n");
    const std::vector<std::string> leftBehind = filesIn(dir.path());
    ASSERT_EQ(leftBehind.size(), 2U);
    EXPECT_TRUE(isAtomicWriteTemporaryName(leftBehind.front())) << leftBehind.front();

    writeFileAtomically(target, "new\n");
    EXPECT_EQ(readFile(target), "new\n");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"run_3DMC_spikes.sdm"});
}

TEST_F(AtomicFileWriter, ATargetWithTheLongestNameTheFileSystemTakesIsWritten) {
    const std::string name = std::string(255 - 4, 'r') + ".sdm";
    writeFileAtomically(dir.file(name), "first\n");
    writeFileAtomically(dir.file(name), "second\n");
    EXPECT_EQ(readFile(dir.file(name)), "second\n");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{name});
}

TEST_F(AtomicFileWriter, WritersOfOneTargetAtTheSameTimeEachLeaveAWholeFile) {
    const std::string target = dir.file("run_3DMC_deriv.sdm");
    std::vector<std::string> contents;
    for (char c : {'a', 'b', 'c', 'd'}) {
        contents.push_back(std::string(3 * kAtomicWriteChunkSize + 17, c));
    }
    {
        std::vector<std::jthread> writers;
        for (const std::string& content : contents) {
            writers.emplace_back([&target, &content]() {
                for (int i = 0; i < 20; ++i) {
                    writeFileAtomically(target, content);
                }
            });
        }
    }
    EXPECT_THAT(contents, ::testing::Contains(readFile(target)));
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"run_3DMC_deriv.sdm"});
}

} // namespace
} // namespace qm::test
