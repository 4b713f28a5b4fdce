// Cutting a legend text to its width: the longest prefix that fits, found with a logarithmic
// number of measurements that never reach far beyond it.
#include "TextFitting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>

namespace halvorn_host {
namespace {

struct FittingCase {
    std::size_t total; // characters of the text
    std::size_t limit; // the most that fit
};

class LongestFittingCount : public ::testing::TestWithParam<FittingCase> {};

TEST_P(LongestFittingCount, FindsTheLimitWithFewShortMeasurements) {
    const auto [total, limit] = GetParam();
    std::size_t asked = 0;
    std::size_t longestAsked = 0;
    const std::size_t found = longestFittingCount(total, [&](std::size_t count) {
        ++asked;
        longestAsked = std::max(longestAsked, count);
        return count <= limit;
    });
    EXPECT_EQ(found, std::min(total, limit));
    const double steps = std::log2(static_cast<double>(std::min(total, limit)) + 2.0);
    EXPECT_LE(static_cast<double>(asked), 2.0 * steps + 2.0) << "measurements";
    EXPECT_LE(longestAsked, std::max<std::size_t>(2 * limit + 1, 1)) << "longest prefix measured";
}

INSTANTIATE_TEST_SUITE_P(Texts, LongestFittingCount,
                         ::testing::Values(FittingCase{0, 0}, FittingCase{1, 0}, FittingCase{1, 1},
                                           FittingCase{2, 1}, FittingCase{3, 5},
                                           FittingCase{17, 16}, FittingCase{17, 17},
                                           FittingCase{64, 63}, FittingCase{64, 64},
                                           FittingCase{1'000'000, 0}, FittingCase{1'000'000, 37},
                                           FittingCase{1'000'000, 999'999},
                                           FittingCase{1'000'000, 1'000'000}),
                         [](const ::testing::TestParamInfo<FittingCase>& info) {
                             return std::to_string(info.param.total) + "Characters" +
                                    std::to_string(info.param.limit) + "Fit";
                         });

} // namespace
} // namespace halvorn_host
