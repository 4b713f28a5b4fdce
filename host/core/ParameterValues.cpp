#include "ParameterValues.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace halvorn_host {
namespace {

constexpr std::string_view kBlanks = " \t";

// The text without blanks around it and without a leading "+" (which from_chars does not take).
// Nothing when a sign follows the "+".
std::optional<std::string_view> numberPart(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    text = text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
    if (text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '+' || text.front() == '-') {
            return std::nullopt;
        }
    }
    return text;
}

} // namespace

std::optional<int> parseIntParameter(std::string_view text) {
    const auto number = numberPart(text);
    if (!number) {
        return std::nullopt;
    }
    int value = 0;
    const char* end = number->data() + number->size();
    const auto result = std::from_chars(number->data(), end, value);
    if (result.ec != std::errc() || result.ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<float> parseFloatParameter(std::string_view text) {
    const auto number = numberPart(text);
    if (!number) {
        return std::nullopt;
    }
    const char* end = number->data() + number->size();
    float value = 0.0F;
    const auto result = std::from_chars(number->data(), end, value);
    if (result.ptr != end ||
        (result.ec != std::errc() && result.ec != std::errc::result_out_of_range)) {
        return std::nullopt;
    }
    if (result.ec == std::errc::result_out_of_range) {
        // Too large for a float, or too small: only the second is still a number the getter can
        // give, rounded towards 0.
        double wide = 0.0;
        const auto widened = std::from_chars(number->data(), end, wide);
        if (widened.ec != std::errc() || !(std::fabs(wide) < 1.0)) {
            return std::nullopt;
        }
        value = static_cast<float>(wide);
    }
    if (!std::isfinite(value)) {
        return std::nullopt; // "inf", "nan"
    }
    return value;
}

} // namespace halvorn_host
