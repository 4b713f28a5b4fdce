// Ticks of the plots' axes and the map pictures' colour bar: round steps, the multiples of the
// step within the range, and labels with the decimals the step needs.
#include "AxisTicks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace halvorn_host {
namespace {

struct StepCase {
    double span;
    double count;
    double step;
};

class TickStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(TickStep, IsTheSmallestRoundStepThatGivesAtMostTheCount) {
    const auto [span, count, expected] = GetParam();
    EXPECT_DOUBLE_EQ(tickStep(span, count), expected) << span << " in " << count;
}

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Spans, TickStep,
    ::testing::Values(StepCase{10.0, 10.0, 1.0}, StepCase{10.0, 6.0, 2.0}, StepCase{10.0, 4.0, 2.5},
                      StepCase{10.0, 3.0, 5.0}, StepCase{10.0, 2.0, 5.0}, StepCase{10.0, 1.5, 10.0},
                      StepCase{9.57, 6.0, 2.0}, StepCase{0.3, 6.0, 0.05}, StepCase{2.0, 8.0, 0.25},
                      StepCase{199.0, 9.0, 25.0}, StepCase{1.8, 6.0, 0.5},
                      // A rough step a rounding error above a round one takes the round one.
                      StepCase{0.1 + 0.2, 3.0, 0.1},
                      // At least one interval.
                      StepCase{7.0, 0.0, 10.0}, StepCase{7.0, -3.0, 10.0},
                      // Nothing to divide.
                      StepCase{0.0, 5.0, 1.0}, StepCase{-4.0, 5.0, 1.0},
                      StepCase{kInfinity, 5.0, 1.0}, StepCase{kNaN, 5.0, 1.0}));

struct ValuesCase {
    const char* name;
    double lower;
    double upper;
    double step;
    std::vector<double> values;
};

class TickValues : public ::testing::TestWithParam<ValuesCase> {};

TEST_P(TickValues, AreTheMultiplesOfTheStepWithinTheRange) {
    const auto& given = GetParam();
    const std::vector<double> values = tickValues(given.lower, given.upper, given.step);
    ASSERT_EQ(values.size(), given.values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_NEAR(values[i], given.values[i], given.step * 1e-12) << "tick " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, TickValues,
    ::testing::Values(ValuesCase{"Symmetric", -1.0, 1.0, 0.5, {-1.0, -0.5, 0.0, 0.5, 1.0}},
                      ValuesCase{"EndsBetweenTicks", -0.3, 1.1, 0.5, {0.0, 0.5, 1.0}},
                      ValuesCase{"FromZero", 0.0, 9.57, 2.0, {0.0, 2.0, 4.0, 6.0, 8.0}},
                      // 0.1 * 3 is a little above 0.3: the end still counts.
                      ValuesCase{"EndARoundingErrorAway", 0.0, 0.3, 0.1, {0.0, 0.1, 0.2, 0.3}},
                      ValuesCase{"Negative", -7.0, -2.0, 2.5, {-5.0, -2.5}},
                      ValuesCase{"NoMultipleWithin", 0.2, 0.4, 1.0, {}},
                      ValuesCase{"UnusableStep", 0.0, 1.0, 0.0, {}},
                      ValuesCase{"NaNStep", 0.0, 1.0, kNaN, {}},
                      ValuesCase{"InfiniteRange", -kInfinity, 1.0, 1.0, {}}),
    [](const auto& info) { return info.param.name; });

TEST(TickValues, ZeroIsPositiveZero) {
    // The first multiple of a range from 0 is found as -0 times the step.
    const std::vector<double> values = tickValues(0.0, 1.0, 0.5);
    ASSERT_EQ(values.size(), 3U);
    EXPECT_EQ(values[0], 0.0);
    EXPECT_FALSE(std::signbit(values[0])) << "a label would read -0";
}

TEST(TickValues, AreAtMostAThousand) {
    EXPECT_EQ(tickValues(0.0, 1e9, 1.0).size(), 1000U);
}

struct LabelCase {
    double value;
    double step;
    const char* label;
};

class FixedTickLabel : public ::testing::TestWithParam<LabelCase> {};

TEST_P(FixedTickLabel, HasTheDecimalsTheStepNeeds) {
    const auto [value, step, label] = GetParam();
    EXPECT_EQ(fixedTickLabel(value, step), label);
}

INSTANTIATE_TEST_SUITE_P(Labels, FixedTickLabel,
                         ::testing::Values(LabelCase{0.0, 2.0, "0"}, LabelCase{8.0, 2.0, "8"},
                                           LabelCase{20.0, 10.0, "20"}, LabelCase{1.5, 0.5, "1.5"},
                                           LabelCase{0.75, 0.25, "0.75"},
                                           LabelCase{5.0, 2.5, "5.0"}, LabelCase{0.1, 0.05, "0.10"},
                                           LabelCase{0.003, 0.001, "0.003"},
                                           LabelCase{3.0, 0.0, "3"}, LabelCase{3.0, kNaN, "3"}));

} // namespace
} // namespace halvorn_host
