// The volume type: its element count, construction, deep copies and division.
#include "Volume.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace qm {
namespace {

TEST(Volume, CountsItsElementsAsA32BitProduct) {
    EXPECT_EQ(elementCount({3, 4, 5}), 60U);
    EXPECT_EQ(elementCount({0, 4, 5}), 0U);
    EXPECT_EQ(elementCount({2147483647, 1, 1}), 2147483647U);
    EXPECT_THROW(elementCount({-1, 4, 5}), std::length_error);
    EXPECT_THROW(elementCount({4, 5, -2}), std::length_error);
    EXPECT_THROW(elementCount({65536, 32768, 1}), std::length_error);
}

TEST(Volume, IsIndexedXFastestThenYThenZ) {
    Volume volume(VolumeDimensions{3, 2, 2}, 0.0F);
    volume.at(2, 1, 1) = 7.0F;
    volume.at(1, 0, 1) = 5.0F;
    EXPECT_EQ(volume.data[2 + 3 * (1 + 2 * 1)], 7.0F);
    EXPECT_EQ(volume.data[1 + 3 * (0 + 2 * 1)], 5.0F);
}

TEST(Volume, ACopyOwnsItsOwnValues) {
    Volume original(VolumeDimensions{2, 1, 1}, 1.5F);
    Volume copy = original;
    copy.data[0] = 9.0F;
    EXPECT_EQ(original.data, (std::vector<float>{1.5F, 1.5F}));
    EXPECT_EQ(copy.dim, original.dim);
}

TEST(Volume, DivideByTouchesEveryElementZerosIncluded) {
    Volume volume(VolumeDimensions{4, 1, 1});
    volume.data = {0.0F, 3.0F, -1.5F, 1.0F};
    volume.divideBy(3.0F);
    EXPECT_EQ(volume.data, (std::vector<float>{0.0F, 1.0F, -0.5F, 1.0F / 3.0F}));
}

} // namespace
} // namespace qm
