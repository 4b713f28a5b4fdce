#include "ReportColorScale.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace halvorn_host {
namespace {

// Viridis at eleven evenly spaced points (0, 0.1, ..., 1), interpolated linearly between them;
// the lightness of the points rises from each to the next, so the interpolated scale keeps its
// order.
constexpr std::array<Rgb8, 11> kViridisStops = {{
    {0x44, 0x01, 0x54},
    {0x48, 0x24, 0x75},
    {0x41, 0x44, 0x87},
    {0x35, 0x5f, 0x8d},
    {0x2a, 0x78, 0x8e},
    {0x21, 0x91, 0x8c},
    {0x22, 0xa8, 0x84},
    {0x44, 0xbf, 0x70},
    {0x7a, 0xd1, 0x51},
    {0xbd, 0xdf, 0x26},
    {0xfd, 0xe7, 0x25},
}};

std::uint8_t mix(std::uint8_t from, std::uint8_t to, double weight) {
    return static_cast<std::uint8_t>(std::lround(from + (to - from) * weight));
}

} // namespace

Rgb8 viridisColor(double fraction) {
    if (!(fraction > 0.0)) {
        return kViridisStops.front();
    }
    if (fraction >= 1.0) {
        return kViridisStops.back();
    }
    const double position = fraction * static_cast<double>(kViridisStops.size() - 1);
    const auto lower = static_cast<std::size_t>(position);
    const double weight = position - static_cast<double>(lower);
    const Rgb8& from = kViridisStops[lower];
    const Rgb8& to = kViridisStops[lower + 1];
    return {mix(from.red, to.red, weight), mix(from.green, to.green, weight),
            mix(from.blue, to.blue, weight)};
}

} // namespace halvorn_host
