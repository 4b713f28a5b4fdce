// A float as text in fixed-point notation with six decimals, the way design matrices write their
// values, fast.
#pragma once

#include <cstddef>

namespace qm {

// Enough for any float: sign, 39 integer digits, point, six decimals.
inline constexpr std::size_t kFixedSixDecimalsMaxLength = 48;

// Writes `value`, widened to double and correctly rounded to six decimals (ties to even), as
// std::to_chars(first, last, double(value), std::chars_format::fixed, 6) does, byte for byte:
// "-" for a set sign bit (so -0.0 gives "-0.000000"), "inf", "nan". Needs
// kFixedSixDecimalsMaxLength bytes at `first`; returns the end of the text. Never consults the
// locale.
char* writeFixedSixDecimals(char* first, float value);

} // namespace qm
