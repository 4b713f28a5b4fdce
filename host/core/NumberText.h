// Numbers as the host stand-in writes them into plots, reports and logs: std::to_chars, so that
// no locale ever changes them.
#pragma once

#include <charconv>
#include <string>

namespace halvorn_host {

// `value` in `format` with `precision` digits (after the point for fixed, significant for
// general). A float passed here prints as the float itself would: widening it is exact.
inline std::string numberText(double value, std::chars_format format, int precision) {
    // Room for the largest double in fixed notation with the precisions used here.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
    if (result.ec != std::errc()) {
        return numberText(value, std::chars_format::general, precision);
    }
    return std::string(buffer, result.ptr);
}

// A distance in millimetres: three decimals, enough for tenths of a voxel; values below 0.1
// keep three significant digits instead.
inline std::string millimetreText(double value) {
    return value < 0.1 ? numberText(value, std::chars_format::general, 3)
                       : numberText(value, std::chars_format::fixed, 3);
}

} // namespace halvorn_host
