// The colour scale of the report's map pictures: viridis, which runs from dark blue-violet through
// teal to yellow with evenly rising lightness, so that equal steps in millimetres look like equal
// steps, the order survives printing in grey, and readers with red-green colour blindness see it.
#pragma once

#include <cstdint>

namespace halvorn_host {

struct Rgb8 {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb8&, const Rgb8&) = default;
};

// The colour at `fraction` of the scale: 0 is the darkest end, 1 the brightest. Fractions outside
// 0..1 are clamped; NaN gives the darkest end.
Rgb8 viridisColor(double fraction);

} // namespace halvorn_host
