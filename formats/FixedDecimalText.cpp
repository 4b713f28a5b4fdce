#include "FixedDecimalText.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace qm {
namespace {

constexpr std::uint64_t kMillion = 1000000;

// "00", "01", ... "99", one after the other.
constexpr std::array<char, 200> kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (std::size_t i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

char* writePair(char* out, std::uint32_t pair) {
    std::memcpy(out, kDigitPairs.data() + 2 * pair, 2);
    return out + 2;
}

// The decimal digits of `value`, without leading zeros ("0" for 0).
char* writeUnsigned(char* out, std::uint64_t value) {
    char digits[20];
    char* start = digits + sizeof digits;
    while (value >= 100) {
        start -= 2;
        std::memcpy(start, kDigitPairs.data() + 2 * (value % 100), 2);
        value /= 100;
    }
    if (value >= 10) {
        start -= 2;
        std::memcpy(start, kDigitPairs.data() + 2 * value, 2);
    } else {
        *--start = static_cast<char>('0' + value);
    }
    const auto length = static_cast<std::size_t>(digits + sizeof digits - start);
    std::memcpy(out, start, length);
    return out + length;
}

// The magnitude of `value` in millionths, rounded to the nearest integer and ties to even,
// when that is exact in 64 bits: false for infinities, NaN, and magnitudes from 2^44 · 2^20
// upwards (about 1.8e13), which the general path writes.
bool millionths(float value, std::uint64_t& result) {
    const auto bits = std::bit_cast<std::uint32_t>(value);
    const std::uint32_t exponentBits = (bits >> 23) & 0xFFU;
    const std::uint32_t fraction = bits & 0x7FFFFFU;
    if (exponentBits == 0xFFU) {
        return false;
    }
    // |value| = mantissa · 2^exponent exactly; widening to double changes nothing.
    const std::uint64_t mantissa = exponentBits == 0 ? fraction : (fraction | 0x800000U);
    const int exponent = exponentBits == 0 ? -149 : static_cast<int>(exponentBits) - 150;
    const std::uint64_t scaled = mantissa * kMillion; // below 2^44
    if (exponent >= 0) {
        if (exponent > 19) {
            return false;
        }
        result = scaled << exponent; // below 2^63
        return true;
    }
    const int shift = -exponent;
    if (shift >= 64) {
        // scaled / 2^shift is below 2^44 / 2^64: less than half, so it rounds to 0.
        result = 0;
        return true;
    }
    const std::uint64_t quotient = scaled >> shift;
    const std::uint64_t remainder = scaled & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    result = quotient + ((remainder > half || (remainder == half && (quotient & 1U) != 0)) ? 1 : 0);
    return true;
}

} // namespace

char* writeFixedSixDecimals(char* first, float value) {
    std::uint64_t scaled = 0;
    if (!millionths(value, scaled)) {
        return std::to_chars(first, first + kFixedSixDecimalsMaxLength, static_cast<double>(value),
                             std::chars_format::fixed, 6)
            .ptr;
    }
    char* out = first;
    if (std::signbit(value)) {
        *out++ = '-';
    }
    out = writeUnsigned(out, scaled / kMillion);
    *out++ = '.';
    const auto decimals = static_cast<std::uint32_t>(scaled % kMillion);
    out = writePair(out, decimals / 10000);
    out = writePair(out, decimals / 100 % 100);
    return writePair(out, decimals % 100);
}

} // namespace qm
