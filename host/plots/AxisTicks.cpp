#include "AxisTicks.h"

#include "NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace halvorn_host {
namespace {

// How far a tick may lie beyond the range, or a step below the rough step, as a fraction of the
// step: rounding errors, not real excess.
constexpr double kTolerance = 1e-9;
constexpr std::size_t kMostTicks = 1000;

} // namespace

double tickStep(double span, double count) {
    const double rough = span / std::max(count, 1.0);
    if (!(rough > 0.0) || !std::isfinite(rough)) {
        return 1.0;
    }
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double multiple : {1.0, 2.0, 2.5, 5.0}) {
        if (multiple * power >= rough * (1.0 - kTolerance)) {
            return multiple * power;
        }
    }
    return 10.0 * power;
}

std::vector<double> tickValues(double lower, double upper, double step) {
    std::vector<double> values;
    if (!(step > 0.0) || !std::isfinite(lower) || !std::isfinite(upper)) {
        return values;
    }
    const double first = std::ceil(lower / step - kTolerance);
    for (double k = first; values.size() < kMostTicks; k += 1.0) {
        const double value = k * step;
        if (value > upper + step * kTolerance) {
            break;
        }
        values.push_back(std::abs(value) < step * kTolerance ? 0.0 : value);
    }
    return values;
}

std::string fixedTickLabel(double value, double step) {
    if (!(step > 0.0) || !std::isfinite(step)) {
        return numberText(value, std::chars_format::general, 6);
    }
    const double power = std::floor(std::log10(step) + kTolerance);
    int decimals = std::max(0, static_cast<int>(-power));
    if (std::fabs(step / std::pow(10.0, power) - 2.5) < kTolerance) {
        ++decimals;
    }
    return numberText(value, std::chars_format::fixed, decimals);
}

} // namespace halvorn_host
