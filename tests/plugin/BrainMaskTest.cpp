// The brain mask: voxels strictly brighter than the threshold, and the refusal of a run whose
// data do not fit the document's grid.
#include "BrainMask.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace qm {
namespace {

TEST(BrainMask, TakesVoxelsStrictlyAboveTheThresholdInIndexOrder) {
    Volume volume(VolumeDimensions{3, 2, 1});
    volume.data = {5.0F, 100.0F, 100.5F, std::numeric_limits<float>::quiet_NaN(), 1e6F, -3.0F};
    EXPECT_EQ(brainMaskIndices(volume, 100.0F), (std::vector<std::int32_t>{2, 4}))
        << "equal to the threshold, or NaN, is not brain";
    EXPECT_EQ(brainMaskIndices(volume, -10.0F), (std::vector<std::int32_t>{0, 1, 2, 4, 5}));
    EXPECT_TRUE(brainMaskIndices(volume, 1e6F).empty());
    EXPECT_TRUE(brainMaskIndices(Volume(VolumeDimensions{0, 4, 4}), 0.0F).empty());
}

TEST(BrainMask, ARunOfAnotherSizeThanTheDocumentIsRefusedNamingBoth) {
    EXPECT_NO_THROW(requireMaskFitsDocument("run.fmr", {64, 64, 30}, {64, 64, 30}));
    try {
        requireMaskFitsDocument("D:/data/run.fmr", {64, 64, 30}, {64, 64, 32});
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "The FMR project D:/data/run.fmr holds volumes of 64 x 64 x 30 voxels, but the "
                  "current document reports 64 x 64 x 32 voxels; the brain mask from the "
                  "project's data would not fit the document's grid. Reopen the FMR document and "
                  "try again.");
    }
    EXPECT_THROW(requireMaskFitsDocument("run.fmr", {64, 62, 30}, {62, 64, 30}),
                 std::runtime_error);
}

} // namespace
} // namespace qm
