// The volume type: its element count, construction, deep copies, division and largest element.
#include "Volume.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
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

// The rule spelled out: one scan from index 0, replacing only by strictly greater elements.
float largestByScan(const std::vector<float>& values) {
    if (values.empty()) {
        return 0.0F;
    }
    float largest = values.front();
    for (const float value : values) {
        if (value > largest) {
            largest = value;
        }
    }
    return largest;
}

Volume volumeOf(std::vector<float> values) {
    Volume volume(VolumeDimensions{static_cast<std::int32_t>(values.size()), 1, 1});
    volume.data = std::move(values);
    return volume;
}

TEST(Volume, LargestElementKeepsTheScansRuleForNaNsAndSignedZeros) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Long enough for the lanes, the tail and the zero search to matter.
    const std::vector<std::pair<const char*, std::vector<float>>> cases = {
        {"empty", {}},
        {"one element", {-2.5F}},
        {"NaN first", {nan, 1.0F, 2.0F, 3.0F}},
        {"NaN later never replaces", {1.0F, nan, 0.5F, 7.0F, nan, 2.0F}},
        {"-0 before +0 keeps -0", {-1.0F, -0.0F, 0.0F, -3.0F, 0.0F}},
        {"+0 before -0 keeps +0", {-1.0F, 0.0F, -0.0F}},
        {"-0 first, +0 in a later lane",
         {-0.0F, -1.0F, -2.0F, -3.0F, -4.0F, -5.0F, -6.0F, -7.0F, -8.0F, -9.0F, -10.0F, -11.0F,
          -12.0F, -13.0F, -14.0F, -15.0F, -16.0F, 0.0F, -1.0F}},
        {"all negative", {-5.0F, -2.0F, -9.0F}},
        {"infinities", {-inf, 3.0F, inf, 1.0F}},
        {"maximum in the tail",
         {1.0F, 1.0F, 1.0F, 1.0F, 1.0F, 1.0F, 1.0F, 1.0F, 1.0F, 1.0F, 1.0F, 1.0F, 1.0F, 1.0F, 1.0F,
          1.0F, 1.0F, 4.0F}},
    };
    for (const auto& [name, values] : cases) {
        const float expected = largestByScan(values);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(largestElement(volumeOf(values))),
                  std::bit_cast<std::uint32_t>(expected))
            << name;
    }
}

TEST(Volume, LargestElementMatchesTheScanOnRandomVolumes) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-100.0F, 100.0F);
    std::uniform_int_distribution<int> special(0, 40);
    for (std::size_t size : {1U, 15U, 16U, 17U, 33U, 1000U, 4099U}) {
        std::vector<float> values(size);
        for (float& element : values) {
            const int kind = special(random);
            element = kind == 0   ? std::numeric_limits<float>::quiet_NaN()
                      : kind == 1 ? 0.0F
                      : kind == 2 ? -0.0F
                                  : value(random);
        }
        EXPECT_EQ(std::bit_cast<std::uint32_t>(largestElement(volumeOf(values))),
                  std::bit_cast<std::uint32_t>(largestByScan(values)))
            << size << " elements";
    }
}

// The volume the masked values stand for: +0 wherever the mask has no index.
std::vector<float> spreadOut(const std::vector<float>& values,
                             const std::vector<std::int32_t>& mask, std::size_t size) {
    std::vector<float> full(size, 0.0F);
    for (std::size_t i = 0; i < mask.size(); ++i) {
        full[static_cast<std::size_t>(mask[i])] = values[i];
    }
    return full;
}

std::uint32_t bits(float value) {
    return std::bit_cast<std::uint32_t>(value);
}

TEST(Volume, LargestMaskedElementIsThatOfTheVolumeTheMaskDescribes) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        std::vector<std::int32_t> mask;
        std::vector<float> values;
        std::size_t size;
    };
    const std::vector<Case> cases = {
        {"no elements", {}, {}, 0},
        {"empty mask", {}, {}, 5},
        {"every element masked, all -0", {0, 1, 2}, {-0.0F, -0.0F, -0.0F}, 3},
        {"every element masked, -0 before +0", {0, 1, 2}, {-1.0F, -0.0F, 0.0F}, 3},
        {"unmasked +0 before a masked -0", {3, 4}, {-0.0F, -2.0F}, 5},
        {"masked -0 before the first unmasked +0", {0, 1, 3}, {-3.0F, -0.0F, -1.0F}, 5},
        {"masked -0 at index 0, gap later", {0, 2}, {-0.0F, 0.0F}, 3},
        {"the only gap is past the last index", {0, 1, 2}, {-5.0F, -0.0F, -7.0F}, 4},
        {"all negative with gaps: +0 wins", {1, 2}, {-1.0F, -2.0F}, 4},
        {"all negative, no gap", {0, 1}, {-1.0F, -2.0F}, 2},
        {"NaN at index 0 is the result", {0, 1}, {nan, 5.0F}, 3},
        {"NaN at index 0 is not masked", {1, 2}, {nan, nan}, 3},
        {"NaN later never replaces", {0, 2}, {1.0F, nan}, 3},
        {"every value NaN but an unmasked +0 first", {1, 2, 3}, {nan, nan, nan}, 4},
        {"infinity", {1}, {inf}, 2},
        {"negative infinity and gaps", {0}, {-inf}, 2},
        {"positive values", {2, 5, 6}, {0.25F, 3.5F, 1.0F}, 9},
    };
    for (const Case& c : cases) {
        const float expected = largestElement(volumeOf(spreadOut(c.values, c.mask, c.size)));
        EXPECT_EQ(bits(largestMaskedElement(c.values, c.mask, c.size)), bits(expected)) << c.name;
    }
}

TEST(Volume, LargestMaskedElementMatchesTheWholeVolumeOnRandomMasks) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> value(-10.0F, 10.0F);
    std::uniform_int_distribution<int> special(0, 9);
    std::bernoulli_distribution dense(0.5);
    for (int round = 0; round < 400; ++round) {
        const std::size_t size = 1 + static_cast<std::size_t>(random() % 70);
        const double fill = dense(random) ? 0.95 : 0.3;
        std::bernoulli_distribution masked(fill);
        std::vector<std::int32_t> mask;
        std::vector<float> values;
        for (std::size_t i = 0; i < size; ++i) {
            if (!masked(random)) {
                continue;
            }
            mask.push_back(static_cast<std::int32_t>(i));
            // Mostly zeros and negative values, so that which zero comes first matters.
            const int kind = special(random);
            values.push_back(kind == 0  ? std::numeric_limits<float>::quiet_NaN()
                             : kind < 3 ? 0.0F
                             : kind < 6 ? -0.0F
                             : kind < 9 ? -std::fabs(value(random))
                                        : value(random));
        }
        const float expected = largestElement(volumeOf(spreadOut(values, mask, size)));
        EXPECT_EQ(bits(largestMaskedElement(values, mask, size)), bits(expected))
            << "round " << round << ", " << mask.size() << " of " << size << " masked";
    }
}

} // namespace
} // namespace qm
