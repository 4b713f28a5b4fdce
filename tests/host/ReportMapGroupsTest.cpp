// The report draws the map pictures of one motion design matrix on a shared scale and lets
// their values go once the maps of the next design matrix come, so that memory stays bounded.
#include "HostSession.h"
#include "Report.h"
#include "TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace halvorn_host {
namespace {

namespace fs = std::filesystem;

constexpr MapDimensions kDimensions = {4, 3, 2};
constexpr std::size_t kValuesPerMap = 4 * 3 * 2;

class ReportMapGroups : public ::testing::Test {
protected:
    ReportMapGroups() {
        CurrentDocument document;
        document.fmrHeader = FmrDocumentHeader{};
        document.fmrHeader->voxelSizeX = 3.0F;
        document.fmrHeader->voxelSizeY = 3.0F;
        document.fmrHeader->voxelSizeZ = 3.0F;
        host.document = std::move(document);
    }

    // Saves one map whose largest value is `maximum`, beside the design matrix `sdm`, as the
    // host does: the report is told before the values are released.
    void saveMap(const std::string& sdm, const std::string& name, float maximum) {
        host.parameters["sdmfile"] = folder.file(sdm);
        HostMap& map = host.document->maps.add(kDimensions);
        float** slices = map.slicePointers();
        slices[0][0] = maximum / 2.0F;
        slices[1][5] = maximum;
        const auto taken = host.document->maps.takeForSaving();
        const std::string path = folder.file(name);
        host.mapsSaved({path, path, taken.first, taken.maps});
        map.release();
    }

    qm::test::TempDir folder;
    HostSession host;
};

TEST_F(ReportMapGroups, MapsOfTheNextDesignMatrixReleaseThoseOfThePrevious) {
    ReportWriter writer(folder.file("report"), std::nullopt, host);
    saveMap("run1_3DMC.sdm", "run1_3DMC_MaxAbsolute.map", 2.0F);
    saveMap("run1_3DMC.sdm", "run1_3DMC_MeanAbsolute.map", 1.0F);
    EXPECT_EQ(writer.valuesHeld(), 2 * kValuesPerMap);
    EXPECT_FALSE(writer.keptMaps().at(0).picture.has_value());

    saveMap("run2_3DMC.sdm", "run2_3DMC_MaxAbsolute.map", 5.0F);
    EXPECT_EQ(writer.valuesHeld(), kValuesPerMap);
    for (const std::size_t index : {0U, 1U}) {
        const KeptMap& kept = writer.keptMaps().at(index);
        EXPECT_TRUE(kept.values.empty());
        ASSERT_TRUE(kept.picture.has_value());
        EXPECT_TRUE(fs::is_regular_file(folder.path() / "report" / kept.pictureName));
    }

    writer.write(host);
    EXPECT_EQ(writer.valuesHeld(), 0U);
    EXPECT_TRUE(writer.keptMaps().at(2).picture.has_value());
}

TEST_F(ReportMapGroups, EachDesignMatrixHasTheScaleOfItsOwnMaps) {
    ReportWriter writer(folder.file("report"), std::nullopt, host);
    saveMap("run1_3DMC.sdm", "run1_3DMC_MaxAbsolute.map", 2.0F);
    saveMap("run1_3DMC.sdm", "run1_3DMC_MeanAbsolute.map", 1.0F);
    saveMap("run2_3DMC.sdm", "run2_3DMC_MaxAbsolute.map", 5.0F);
    writer.write(host);
    const auto& kept = writer.keptMaps();
    EXPECT_EQ(kept.at(0).scale, 2.0);
    EXPECT_EQ(kept.at(1).scale, 2.0);
    EXPECT_EQ(kept.at(2).scale, 5.0);
    EXPECT_THAT(kept.at(0).designMatrix, ::testing::EndsWith("run1_3DMC.sdm"));
    EXPECT_THAT(kept.at(2).designMatrix, ::testing::EndsWith("run2_3DMC.sdm"));
}

TEST_F(ReportMapGroups, TheLongestDesignMatrixNameClaimsAMap) {
    ReportWriter writer(folder.file("report"), std::nullopt, host);
    saveMap("run1_3DMC.sdm", "run1_3DMC_MaxAbsolute.map", 2.0F);
    saveMap("run1_3DMC_b.sdm", "run1_3DMC_b_MaxAbsolute.map", 4.0F);
    EXPECT_EQ(writer.valuesHeld(), kValuesPerMap);
    writer.write(host);
    EXPECT_THAT(writer.keptMaps().at(1).designMatrix, ::testing::EndsWith("run1_3DMC_b.sdm"));
    EXPECT_EQ(writer.keptMaps().at(0).scale, 2.0);
    EXPECT_EQ(writer.keptMaps().at(1).scale, 4.0);
}

} // namespace
} // namespace halvorn_host
