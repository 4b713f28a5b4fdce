// The six-decimal number text of design matrices against std::to_chars, the definition it must
// match byte for byte: every kind of float, the rounding ties, and the magnitudes where the
// integer path gives way to the general one.
#include "FixedDecimalText.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace qm {
namespace {

std::string expectedText(float value) {
    char text[kFixedSixDecimalsMaxLength];
    const auto result = std::to_chars(text, text + sizeof text, static_cast<double>(value),
                                      std::chars_format::fixed, 6);
    EXPECT_EQ(result.ec, std::errc());
    return {text, result.ptr};
}

std::string actualText(float value) {
    char text[kFixedSixDecimalsMaxLength];
    return {text, writeFixedSixDecimals(text, value)};
}

// Reports the first few differences only, so that a fault does not flood the output.
class Comparison {
public:
    void check(float value) {
        ++checked_;
        const std::string expected = expectedText(value);
        const std::string actual = actualText(value);
        if (actual != expected && ++failures_ <= 10) {
            ADD_FAILURE() << "bits 0x" << std::hex << std::bit_cast<std::uint32_t>(value)
                          << std::dec << ": \"" << actual << "\" instead of \"" << expected << "\"";
        }
    }
    ~Comparison() { EXPECT_EQ(failures_, 0U) << "of " << checked_ << " values"; }

private:
    std::size_t checked_ = 0;
    std::size_t failures_ = 0;
};

TEST(FixedDecimalText, SpecialValuesAndTheEndsOfTheRange) {
    using limits = std::numeric_limits<float>;
    Comparison comparison;
    for (const float value : {0.0F,
                              -0.0F,
                              1.0F,
                              -1.0F,
                              0.5F,
                              -1.25F,
                              123.456F,
                              limits::denorm_min(),
                              -limits::denorm_min(),
                              limits::min(),
                              -limits::min(),
                              limits::max(),
                              -limits::max(),
                              limits::infinity(),
                              -limits::infinity(),
                              limits::quiet_NaN(),
                              -limits::quiet_NaN(),
                              limits::signaling_NaN(),
                              std::bit_cast<float>(0x7FC12345U),
                              std::bit_cast<float>(0xFF800001U),
                              1e-7F,
                              -1e-7F,
                              4.9999997e-7F,
                              5e-7F,
                              5.0000006e-7F,
                              9.999999e-7F,
                              1e-6F,
                              1.5e-6F,
                              2.5e-6F,
                              0.9999995F,
                              0.99999994F,
                              9999999.5F,
                              1e7F,
                              8388608.0F,
                              16777216.0F,
                              1e12F,
                              4398046511104.0F,
                              8796093022208.0F,
                              8796093022208.0F * 2.0F,
                              1.8446744e13F,
                              1e15F,
                              3.4e38F}) {
        comparison.check(value);
    }
}

// x · 10^6 lies exactly halfway between two integers when x is an odd multiple of 1/128: those
// values round to the even neighbour.
TEST(FixedDecimalText, TiesRoundToEven) {
    Comparison comparison;
    for (std::int32_t j = 1; j < (1 << 22); j += 2) {
        const float value = static_cast<float>(j) / 128.0F;
        comparison.check(value);
        comparison.check(-value);
    }
    EXPECT_EQ(actualText(1.0F / 128.0F), "0.007812");
    EXPECT_EQ(actualText(3.0F / 128.0F), "0.023438");
    EXPECT_EQ(actualText(-5.0F / 128.0F), "-0.039062");
}

// Magnitudes up to 2^43 are written by the integer path, larger ones by the general one; both
// sides of the change, and the exponents around it, at every mantissa bit.
TEST(FixedDecimalText, AroundTheLargestExactIntegerPath) {
    Comparison comparison;
    for (int exponent = 36; exponent <= 48; ++exponent) {
        for (std::uint32_t low = 0; low < (1U << 12); ++low) {
            for (const std::uint32_t high : {0U, 0x7FF000U, 0x5A5000U}) {
                const std::uint32_t bits =
                    static_cast<std::uint32_t>(exponent + 127) << 23 | high | low;
                comparison.check(std::bit_cast<float>(bits));
                comparison.check(-std::bit_cast<float>(bits));
            }
        }
    }
}

// Every 257th bit pattern: every exponent, subnormals, NaN payloads and both signs.
TEST(FixedDecimalText, MatchesAcrossAllBitPatterns) {
    Comparison comparison;
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFULL; bits += 257) {
        comparison.check(std::bit_cast<float>(static_cast<std::uint32_t>(bits)));
    }
}

// The values design matrices hold: motion in millimetres and degrees, standardised predictors.
TEST(FixedDecimalText, MatchesOnTypicalValues) {
    Comparison comparison;
    std::mt19937 random(3);
    std::uniform_real_distribution<float> small(-10.0F, 10.0F);
    std::uniform_real_distribution<float> wide(-1e6F, 1e6F);
    for (int i = 0; i < 300000; ++i) {
        comparison.check(small(random));
        comparison.check(wide(random));
        comparison.check(small(random) * 1e-5F);
    }
}

} // namespace
} // namespace qm
