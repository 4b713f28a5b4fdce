// Framewise displacement: the sum of the absolute volume-to-volume changes of the translations and
// of the rotations as arcs on a 50 mm sphere, in single precision and a fixed order.
#include "FramewiseDisplacement.h"
#include "MotionMatrices.h"
#include "PlainMotion.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

namespace qm {
namespace {

using test::bitsOf;
using test::motionMatrix;
using test::MotionValues;

// The arc of a turn by `degrees` on the 50 mm sphere, converted as the plug-in converts.
float arcOf(float degrees) {
    const float pi = 4.0F * std::atan(1.0F);
    return std::abs((pi * degrees) / 180.0F) * 50.0F;
}

TEST(FramewiseDisplacement, NoVolumesGiveAnEmptySeriesAndOneVolumeASingleZero) {
    EXPECT_TRUE(computeFramewiseDisplacement(motionMatrix({})).empty());
    EXPECT_EQ(computeFramewiseDisplacement(motionMatrix({{1, 2, 3, 4, 5, 6}})),
              std::vector<float>{0.0F});
}

TEST(FramewiseDisplacement, HandWorkedStepsOfOneMillimetreAndOneDegree) {
    // Volume by volume: still, 1 mm along x, back, 1 mm along y, 1 mm along z, 1 degree about
    // x, about y, about z, then everything back at once.
    const std::vector<MotionValues> rows = {
        {0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0},
        {0, 1, 0, 0, 0, 0}, {0, 1, 1, 0, 0, 0}, {0, 1, 1, 1, 0, 0},
        {0, 1, 1, 1, 1, 0}, {0, 1, 1, 1, 1, 1}, {0, 0, 0, 0, 0, 0}};
    const std::vector<float> series = computeFramewiseDisplacement(motionMatrix(rows));
    const float oneDegree = arcOf(1.0F);
    EXPECT_NEAR(oneDegree, 50.0 * 3.14159265358979 / 180.0, 1e-6);
    ASSERT_EQ(series.size(), rows.size());
    EXPECT_EQ(series[0], 0.0F);
    EXPECT_EQ(series[1], 1.0F);
    EXPECT_EQ(series[2], 1.0F);
    EXPECT_EQ(series[3], 1.0F);
    EXPECT_EQ(series[4], 1.0F);
    EXPECT_EQ(bitsOf(series[5]), bitsOf(oneDegree));
    EXPECT_EQ(bitsOf(series[6]), bitsOf(oneDegree));
    EXPECT_EQ(bitsOf(series[7]), bitsOf(oneDegree));
    EXPECT_EQ(bitsOf(series[8]), bitsOf(((2.0F + oneDegree) + oneDegree) + oneDegree));
}

TEST(FramewiseDisplacement, MovementsInOppositeDirectionsAddUp) {
    const std::vector<float> series = computeFramewiseDisplacement(
        motionMatrix({{0.5F, -0.25F, 0, 0, 0, 0}, {-0.5F, 0.25F, 0, 0, 0, 0}}));
    EXPECT_EQ(series.at(1), 1.5F);
}

TEST(FramewiseDisplacement, AgreesBitForBitWithThePlainSumInItsOrder) {
    const DesignMatrix motion = test::realisticMotion(300);
    const std::vector<float> series = computeFramewiseDisplacement(motion);
    ASSERT_EQ(series.size(), 300U);
    const float pi = 4.0F * std::atan(1.0F);
    for (std::size_t i = 1; i < 300; ++i) {
        float expected = 0.0F;
        for (std::size_t p = 0; p < 6; ++p) {
            const std::vector<float>& c = motion.columns[p];
            const float change =
                p < 3 ? std::abs(c[i] - c[i - 1])
                      : std::abs((pi * c[i]) / 180.0F - (pi * c[i - 1]) / 180.0F) * 50.0F;
            expected = p == 0 ? change : expected + change;
        }
        ASSERT_EQ(bitsOf(series[i]), bitsOf(expected)) << "volume " << i;
    }
}

TEST(FramewiseDisplacement, RefusesAMatrixWithoutTheSixMotionColumns) {
    DesignMatrix fiveColumns = motionMatrix({{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}});
    fiveColumns.columns.pop_back();
    EXPECT_THAT(
        [&] { computeFramewiseDisplacement(fiveColumns); },
        ::testing::ThrowsMessage<std::runtime_error>(::testing::HasSubstr("run1_3DMC.sdm")));
}

} // namespace
} // namespace qm
