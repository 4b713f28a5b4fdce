#include "RelativeRmsDisplacement.h"
#include "MotionMatrices.h"
#include "PlainMotion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace qm {
namespace {

using test::bitsOf;
using test::motionMatrix;
using test::MotionValues;

float displacementBetween(const MotionValues& first, const MotionValues& second) {
    const std::vector<float> series = computeRelativeRmsDisplacement(motionMatrix({first, second}));
    EXPECT_EQ(series.size(), 2U);
    EXPECT_EQ(series.at(0), 0.0F);
    return series.at(1);
}

TEST(RelativeRmsDisplacement, NoVolumesGiveAnEmptySeriesAndOneVolumeASingleZero) {
    EXPECT_TRUE(computeRelativeRmsDisplacement(motionMatrix({})).empty());
    const std::vector<float> one =
        computeRelativeRmsDisplacement(motionMatrix({{1, 2, 3, 4, 5, 6}}));
    EXPECT_EQ(one, std::vector<float>{0.0F});
}

TEST(RelativeRmsDisplacement, IdenticalRowsDoNotMove) {
    // Exactly 0 without rotations; with rotations inv(T)·T misses the identity by rounding only.
    EXPECT_EQ(displacementBetween({0.3F, -1, 2, 0, 0, 0}, {0.3F, -1, 2, 0, 0, 0}), 0.0F);
    EXPECT_LT(displacementBetween({0.3F, -1, 2, 1.5F, -0.5F, 2}, {0.3F, -1, 2, 1.5F, -0.5F, 2}),
              1e-5F);
}

TEST(RelativeRmsDisplacement, FirstVolumeIsZeroHoweverFarItIsFromTheIdentity) {
    const std::vector<float> series = computeRelativeRmsDisplacement(motionMatrix(
        {{10, -8, 5, 20, 15, -25}, {10, -8, 5, 20, 15, -25}, {11, -8, 5, 20, 15, -25}}));
    ASSERT_EQ(series.size(), 3U);
    EXPECT_EQ(series[0], 0.0F);
    EXPECT_LT(series[1], 1e-5F);
    EXPECT_NEAR(series[2], 1.0F, 1e-5F);
}

TEST(RelativeRmsDisplacement, ZeroRowThenOneMillimetreAlongXIsExactlyOne) {
    EXPECT_EQ(displacementBetween({0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}), 1.0F);
}

TEST(RelativeRmsDisplacement, OneMillimetreInAnyTranslationColumnIsOneMillimetre) {
    const MotionValues common = {0.4F, -1.2F, 2.5F, 3.0F, -2.0F, 5.0F};
    for (std::size_t column = 0; column < 3; ++column) {
        SCOPED_TRACE("translation column " + std::to_string(column));
        MotionValues moved = common;
        moved[column] += 1.0F;
        EXPECT_NEAR(displacementBetween(common, moved), 1.0F, 1e-5F);
    }
}

TEST(RelativeRmsDisplacement, RotationByThetaInAnyColumnMatchesTheBallFormula) {
    struct Case {
        float theta;
        float approximately;
    };
    const MotionValues common = {0.4F, -1.2F, 2.5F, 3.0F, -2.0F, 5.0F};
    for (const Case c : {Case{1.0F, 0.7175F}, Case{0.5F, 0.3587F}, Case{2.0F, 1.4350F}}) {
        const double exact = std::sqrt(3380.0 * (1.0 - std::cos(c.theta * 3.14159265358979 / 180)));
        EXPECT_NEAR(exact, c.approximately, 1e-4);
        for (std::size_t column = 3; column < 6; ++column) {
            SCOPED_TRACE("theta " + std::to_string(c.theta) + ", column " + std::to_string(column));
            MotionValues turned = common;
            turned[column] += c.theta;
            EXPECT_NEAR(displacementBetween(common, turned), exact, 2e-4);
        }
    }
}

TEST(RelativeRmsDisplacement, TheRadiusScalesTheRotationsAndLeavesTheTranslations) {
    const MotionValues common = {0.4F, -1.2F, 2.5F, 3.0F, -2.0F, 5.0F};
    MotionValues turned = common;
    turned[4] += 1.0F;
    MotionValues shifted = common;
    shifted[1] += 1.0F;
    const DesignMatrix motion = motionMatrix({common, turned, shifted});
    for (const float radius : {50.0F, 80.0F, 1.0F}) {
        SCOPED_TRACE("radius " + std::to_string(radius));
        const std::vector<float> series = computeRelativeRmsDisplacement(motion, radius);
        ASSERT_EQ(series.size(), 3U);
        // A turn by theta moves the ball by sqrt(4/5 R² (1 - cos theta)) on average.
        const double r = radius;
        const double turn = std::sqrt(0.8 * r * r * (1.0 - std::cos(3.14159265358979 / 180)));
        EXPECT_NEAR(series[1], turn, 3e-6 * r);
        // From `turned` to `shifted`: the turn back and 1 mm, in quadrature.
        EXPECT_NEAR(series[2], std::sqrt(turn * turn + 1.0), 3e-6 * r + 1e-5);
    }
}

TEST(RelativeRmsDisplacement, TheDefaultRadiusIs65Millimetres) {
    const DesignMatrix motion = test::realisticMotion(50);
    const std::vector<float> byDefault = computeRelativeRmsDisplacement(motion);
    const std::vector<float> given = computeRelativeRmsDisplacement(motion, 65.0F);
    ASSERT_EQ(byDefault.size(), given.size());
    for (std::size_t i = 0; i < given.size(); ++i) {
        EXPECT_EQ(bitsOf(byDefault[i]), bitsOf(given[i])) << "volume " << i;
    }
}

TEST(RelativeRmsDisplacement, EveryEntryOfARealisticRunIsFiniteAndNonNegative) {
    for (const float value : computeRelativeRmsDisplacement(test::realisticMotion(300))) {
        EXPECT_TRUE(std::isfinite(value));
        EXPECT_GE(value, 0.0F);
    }
}

TEST(RelativeRmsDisplacement, RefusesMatricesThatLackMotionColumnsOrValues) {
    DesignMatrix fiveColumns = motionMatrix({{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}});
    fiveColumns.columns.pop_back();
    DesignMatrix shortColumn = motionMatrix({{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}});
    shortColumn.columns[4].pop_back();
    DesignMatrix negativeCount = motionMatrix({});
    negativeCount.nrOfDataPoints.value = -3;

    for (const DesignMatrix* matrix : {&fiveColumns, &shortColumn, &negativeCount}) {
        try {
            computeRelativeRmsDisplacement(*matrix);
            ADD_FAILURE() << "accepted a matrix that cannot hold motion rows";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find("run1_3DMC.sdm"), std::string::npos)
                << error.what();
        }
    }
}

// --- Bit-exact agreement with a plain, independent computation on a realistic run -------------

float plainRms(const test::PlainMatrix& t1, const test::PlainMatrix& t2) {
    const test::PlainMatrix inverse = test::plainInverse(t1);
    float d[4][4];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0F;
            for (int k = 0; k < 4; ++k) {
                sum += inverse[static_cast<std::size_t>(4 * i + k)] *
                       t2[static_cast<std::size_t>(4 * k + j)];
            }
            d[i][j] = sum - (i == j ? 1.0F : 0.0F);
        }
    }
    // Trace of AᵀA: column by column, rows summed from 0.
    float trace[3];
    for (int j = 0; j < 3; ++j) {
        float sum = 0.0F;
        for (int k = 0; k < 3; ++k) {
            sum += d[k][j] * d[k][j];
        }
        trace[j] = sum;
    }
    const float s = (trace[0] + trace[1]) + trace[2];
    const float q = (d[1][3] * d[1][3] + d[0][3] * d[0][3]) + d[2][3] * d[2][3];
    const float radius = 65.0F;
    return std::sqrt(s * ((radius * 0.2F) * radius) + q);
}

TEST(RelativeRmsDisplacement, AgreesBitForBitWithAPlainComputationOnARealisticRun) {
    const DesignMatrix motion = test::realisticMotion(300);
    const std::vector<float> series = computeRelativeRmsDisplacement(motion);
    ASSERT_EQ(series.size(), 300U);
    EXPECT_EQ(bitsOf(series[0]), bitsOf(0.0F));
    float largest = 0.0F;
    for (std::size_t i = 1; i < 300; ++i) {
        const float expected =
            plainRms(test::plainTransform(motion, i - 1), test::plainTransform(motion, i));
        ASSERT_EQ(bitsOf(series[i]), bitsOf(expected)) << "volume " << i;
        largest = std::max(largest, series[i]);
    }
    EXPECT_GT(largest, 0.5F) << "the run should contain jumps";
}

} // namespace
} // namespace qm
