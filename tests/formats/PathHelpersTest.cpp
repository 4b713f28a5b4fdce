#include "PathHelpers.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

struct PathCase {
    const char* path;
    const char* fileName;
    const char* directory;
    const char* detrended; // suffixedPath(path, "_detr")
    const char* withoutExtension;
};

TEST(PathHelpers, SplitAndSuffixPathsWithEitherSeparator) {
    const PathCase cases[] = {
        {"D:/data/run1_3DMC.sdm", "run1_3DMC.sdm", "D:/data/", "D:/data/run1_3DMC_detr.sdm",
         "D:/data/run1_3DMC"},
        {"D:\\data\\run1_3DMC.sdm", "run1_3DMC.sdm", "D:\\data\\", "D:\\data\\run1_3DMC_detr.sdm",
         "D:\\data\\run1_3DMC"},
        {"run.sdm", "run.sdm", "", "run_detr.sdm", "run"},
        {"a.b/run_3DMC.sdm", "run_3DMC.sdm", "a.b/", "a.b/run_3DMC_detr.sdm", "a.b/run_3DMC"},
        {"a.b_3DMC.sdm", "a.b_3DMC.sdm", "", "a.b_3DMC_detr.sdm", "a.b_3DMC"},
        {"folder.v2/motion", "motion", "folder.v2/", "folder.v2/motion_detr.sdm",
         "folder.v2/motion"},
        {"noextension", "noextension", "", "noextension_detr.sdm", "noextension"},
        {"dir/", "", "dir/", "dir/_detr.sdm", "dir/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fileNamePart(c.path), c.fileName) << c.path;
        EXPECT_EQ(directoryPart(c.path), c.directory) << c.path;
        EXPECT_EQ(suffixedPath(c.path, "_detr"), c.detrended) << c.path;
        EXPECT_EQ(pathWithoutExtension(c.path), c.withoutExtension) << c.path;
    }
}

} // namespace
} // namespace qm
