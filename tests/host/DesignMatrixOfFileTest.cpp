// Which motion design matrix a file written beside it belongs to, by its name.
#include "DesignMatrixOfFile.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace halvorn_host {
namespace {

const std::vector<std::string> kDesignMatrices = {"data/run1_3DMC.sdm", "data/run1_3DMC_b.sdm",
                                                  "other/run2_3DMC.sdm"};

TEST(DesignMatrixOfFile, TheLongestNameInTheSameFolderWins) {
    struct Case {
        const char* file;
        std::optional<std::size_t> designMatrix;
    };
    const Case cases[] = {
        {"data/run1_3DMC_detr.sdm", 0},
        {"data/run1_3DMC_b_detr.sdm", 1},
        {"data/./run1_3DMC_b_MaxAbsolute.map", 1},
        {"other/run2_3DMC_desc-confounds_timeseries.tsv", 2},
        {"data/run2_3DMC_detr.sdm", std::nullopt}, // another folder's design matrix
        {"data/run1_3DMCdetr.sdm", std::nullopt},  // no "_" after the name
        {"data/run1_3DMC.sdm", std::nullopt},      // the design matrix itself
        {"elsewhere/run1_3DMC_detr.sdm", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(designMatrixOfFile(c.file, kDesignMatrices), c.designMatrix) << c.file;
    }
}

TEST(DesignMatrixOfFile, ATaskOfOneDesignMatrixOwnsEveryOutput) {
    const std::vector<std::string> one = {"data/run1_3DMC.sdm"};
    EXPECT_EQ(designMatrixOfOutput("elsewhere/maps.map", one), 0U);
    EXPECT_EQ(designMatrixOfOutput("elsewhere/maps.map", kDesignMatrices), std::nullopt);
    EXPECT_EQ(designMatrixOfOutput("data/run1_3DMC_b_x.map", kDesignMatrices), 1U);
    EXPECT_EQ(designMatrixOfOutput("data/x.map", {}), std::nullopt);
}

} // namespace
} // namespace halvorn_host
