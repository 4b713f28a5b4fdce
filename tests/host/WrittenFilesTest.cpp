// The files a task wrote, as the host sees them: folder listings before and after the task, and
// the "files written" event made of their difference.
#include "WrittenFiles.h"
#include "HostSession.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace halvorn_host {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::file_time_type kTime{std::chrono::seconds(1'000'000)};

struct DifferenceCase {
    std::string what;
    FolderListing after;
    std::vector<std::string> written;
};

TEST(WrittenFiles, NewAndChangedFilesCountAsWritten) {
    const FolderListing before = {{"a.sdm", {kTime, 10}}, {"b.sdm", {kTime, 20}}};
    const std::vector<DifferenceCase> cases = {
        {"nothing changed", before, {}},
        {"a new file",
         {{"a.sdm", {kTime, 10}}, {"b.sdm", {kTime, 20}}, {"c.sdm", {kTime, 1}}},
         {"c.sdm"}},
        {"another size", {{"a.sdm", {kTime, 11}}, {"b.sdm", {kTime, 20}}}, {"a.sdm"}},
        // Rewritten with the same bytes: only its time tells.
        {"a later time", {{"a.sdm", {kTime, 10}}, {"b.sdm", {kTime + 1ns, 20}}}, {"b.sdm"}},
        {"a removed file", {{"a.sdm", {kTime, 10}}}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> paths;
        for (const auto& file : filesWritten(before, c.after)) {
            paths.push_back(file.path);
        }
        EXPECT_EQ(paths, c.written) << c.what;
    }
}

TEST(WrittenFiles, FoldersListTheirRegularFilesOnly) {
    qm::test::TempDir dir;
    std::ofstream(dir.file("run_3DMC_detr.sdm")) << "12345";
    fs::create_directory(dir.path() / "sub");
    std::ofstream(dir.file("sub/deeper.sdm")) << "x";
    const std::string folder = dir.path().string();
    const FolderListing listing = listFolders({folder, folder + "/missing"});
    ASSERT_EQ(listing.size(), 1U);
    const auto found = listing.find((dir.path() / "run_3DMC_detr.sdm").string());
    ASSERT_NE(found, listing.end());
    EXPECT_EQ(found->second.bytes, 5U);
}

TEST(WrittenFiles, TheFoldersOfTheMotionDesignMatricesTheSdmfileNames) {
    HostSession host;
    EXPECT_TRUE(motionFolders(host).empty());
    host.parameters["sdmfile"] = "data/run_3DMC.sdm";
    EXPECT_EQ(motionFolders(host), std::vector<std::string>{"data"});
    host.parameters["sdmfile"] = "run_3DMC.sdm";
    EXPECT_EQ(motionFolders(host), std::vector<std::string>{""});
    host.parameters["sdmfile"] = "notes.txt";
    EXPECT_TRUE(motionFolders(host).empty());
}

TEST(WrittenFiles, TheEventNamesTheTaskAndEachFileWithItsSize) {
    const auto event = filesWrittenEvent("confound", {{"data/run_3DMC_detr.sdm", 13805}});
    EXPECT_EQ(event.dump(), R"({"host":"files written","task":"confound","files":[)"
                            R"({"path":"data/run_3DMC_detr.sdm","bytes":13805}]})");
    EXPECT_EQ(filesWrittenEvent("displacement", {}).dump(),
              R"({"host":"files written","task":"displacement","files":[]})");
}

} // namespace
} // namespace halvorn_host
